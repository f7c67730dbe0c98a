#pragma once

#include <QByteArray>
#include <QString>

// File names are bytes; Qt names them with QStrings through UTF-8. A name that is not valid UTF-8 turns
// into another name on the way (each bad byte becomes U+FFFD), which names a different folder: such a name
// is refused, never used as what it became.
class FolderName
{
public:
    // True when `bytes` survive QFile::decodeName and encodeName unchanged; `name` is the decoded name
    // either way (for messages).
    static bool decode(const QByteArray& bytes, QString& name);
    // The process's current directory, decoded as above; false when it cannot be read or named.
    static bool currentDirectory(QString& name);
    // Why a name that decode() refused cannot be used, in one sentence naming it.
    static QString notNameable(const QString& name);
};
