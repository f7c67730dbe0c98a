#include "DocumentYear.h"

#include "YearDocument.h"
#include "YearRegistry.h"

DocumentYear::DocumentYear(YearRegistry& registry, const QString& yearsDir, int year)
    : m_registry(registry), m_yearsDir(yearsDir), m_year(year)
{
}

DocumentYear::~DocumentYear()
{
    QObject::disconnect(m_watch);
}

bool DocumentYear::read(QString& error)
{
    if (!m_document) {
        m_document = m_registry.open(m_year);
        m_watch = QObject::connect(m_document.get(), &YearDocument::changed, [this] {
            if (!m_editing)
                ++m_revision;
        });
    }
    // Only the readable part of a damaged file is in the document: what it lacks is no deletion to send.
    if (!m_document->loadResult().ok()) {
        error = m_document->loadResult().message;
        return false;
    }
    m_readAt = m_revision;
    m_editing = false;
    return true;
}

const YearData& DocumentYear::data() const
{
    return m_document->data();
}

YearDocument* DocumentYear::edit(QString& error)
{
    if (m_revision != m_readAt) {
        error =
            QStringLiteral("the year was edited while the server answered; it is synced again in a moment");
        return nullptr;
    }
    // What the sync itself changes from here on is no edit of the user's.
    m_editing = true;
    return m_document.get();
}

bool DocumentYear::save(QString& error)
{
    m_editing = false;
    if (m_registry.saveAll())
        return true;
    error = QStringLiteral("the year could not be saved");
    return false;
}
