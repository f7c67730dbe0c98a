#include "FolderName.h"

#include <QFile>

#include <cstdlib>

#include <unistd.h>

bool FolderName::decode(const QByteArray& bytes, QString& name)
{
    name = QFile::decodeName(bytes);
    return QFile::encodeName(name) == bytes;
}

bool FolderName::currentDirectory(QString& name)
{
    // glibc sizes the buffer itself: no length limit of ours.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) {
        name.clear();
        return false;
    }
    const QByteArray bytes(cwd);
    std::free(cwd);
    return decode(bytes, name);
}

QString FolderName::notNameable(const QString& name)
{
    return QStringLiteral("the name of the folder %1 is not valid UTF-8 (the bad bytes are shown as %2), so "
                          "it cannot be used without using a different folder; rename it or work elsewhere")
        .arg(name, QString(QChar::ReplacementCharacter));
}
