#include "TolvaDoc.h"

CTolvaDoc::CTolvaDoc(QObject* parent) : QObject(parent), m_title(QStringLiteral("Tolva")) {}

void CTolvaDoc::SetTitle(const QString& title)
{
    if (title == m_title)
        return;
    m_title = title;
    emit titleChanged(m_title);
}
