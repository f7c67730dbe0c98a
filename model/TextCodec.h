#pragma once

#include <QByteArray>
#include <QString>

// Texts are bytes on disk. Files from the old platform hold Windows-1252; new texts may hold any Unicode.
// Both directions are lossless, and a text the user did not edit keeps its bytes.
namespace TextCodec {

// UTF-8 when the bytes are valid UTF-8 (a leading U+FEFF is kept as a character), else Windows-1252 (its
// five unassigned bytes map to the C1 code points of the same value).
QString decode(const QByteArray& bytes);

// Windows-1252 when every character fits and those bytes would not read back as UTF-8 with non-ASCII
// content; UTF-8 otherwise. decode(encode(s)) == s for every s.
QByteArray encode(const QString& text);

// The bytes to store for a text shown as decode(original) and now reading `edited`: the original bytes when
// the text is unchanged, else encode(edited).
QByteArray reencode(const QString& edited, const QByteArray& original);

bool isValidUtf8(const QByteArray& bytes);

} // namespace TextCodec
