#include "FolderYear.h"

#include "DataStore.h"
#include "DurableFile.h"
#include "YearDocument.h"
#include "YearRegistry.h"

#include <QDir>
#include <QFile>

FolderYear::FolderYear(const QString& dir, int year) : m_dir(dir), m_year(year), m_reader(dir) {}

FolderYear::~FolderYear()
{
    // The document before the registry that saves it.
    m_document.reset();
    m_registry.reset();
}

bool FolderYear::read(QString& error)
{
    if (m_document)
        return true; // the document is the year now
    if (m_reader.read(m_year))
        return true;
    error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_reader.problem().path),
                                         m_reader.problem().reason);
    return false;
}

const YearData& FolderYear::data() const
{
    return m_document ? m_document->data() : m_reader.year();
}

YearDocument* FolderYear::edit(QString& error)
{
    if (m_document)
        return m_document.get();
    m_store = std::make_unique<DataStore>();
    const StoreResult captured = m_store->CaptureWorkDir(m_dir);
    DisplaySettings defaults{};
    const StoreResult loaded = captured.ok() ? m_store->loadDefaults(defaults) : captured;
    if (!loaded.ok()) {
        error = loaded.message;
        return nullptr;
    }
    if (!keepCopy(m_store->yearPath(m_year), error))
        return nullptr;
    m_registry = std::make_unique<YearRegistry>(*m_store, defaults);
    QObject::connect(m_registry.get(), &YearRegistry::problem,
                     [this](const StoreResult& r) { m_problems << r; });
    m_document = m_registry->open(m_year);
    // The year keeps the selected day it was stored with.
    DisplaySettings settings = m_document->data().m_settings;
    settings.m_stSelected = m_reader.storedSelection();
    m_document->setViewSettings(settings);
    return m_document.get();
}

bool FolderYear::save(QString& error)
{
    if (!m_document || !m_document->isUnsaved())
        return true;
    m_problems.clear();
    if (m_registry->saveAll() && m_problems.isEmpty())
        return true;
    error = m_problems.isEmpty() ? QStringLiteral("the year could not be saved") : m_problems.first().message;
    return false;
}

bool FolderYear::keepCopy(const QString& path, QString& error) const
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("no copy of the year could be kept (%1: %2)").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(DataStore::kMaxFileSize + 1);
    const StoreResult r = DurableFile::write(path + QStringLiteral(".before-sync"), bytes);
    if (!r.ok())
        error = QStringLiteral("no copy of the year could be kept (%1)")
                    .arg(r.reason.isEmpty() ? r.message : r.reason);
    return r.ok();
}
