#pragma once

#include "DataStore.h"
#include "ForeverRedDays.h"
#include "PaintResources.h"
#include "YearData.h"

#include <QWidget>

#include <memory>

// Interim year window until the full year view lands: shows the current year, describes the day under the
// pointer in the status bar, selects a day with a click and edits it with a double click or Enter. Every
// confirmed edit is saved at once.
class YearWindow : public QWidget
{
    Q_OBJECT

public:
    YearWindow(DataStore& store, const DisplaySettings& defaults, QWidget* parent = nullptr);

signals:
    void statusText(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void editSelectedDay();
    void save();
    void report(const StoreResult& result);

    DataStore& m_store;
    YearData m_year;
    ForeverRedDays m_everyYear;
    std::unique_ptr<PaintResources> m_resources;
};
