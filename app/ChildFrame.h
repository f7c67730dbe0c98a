#pragma once

#include <QMdiSubWindow>
#include <QPointer>

class CTolvaDoc;
class CTolvaView;

// A year window: one CTolvaView on a CTolvaDoc inside the main frame's MDI area. Its caption is the year its
// own view shows, numbered (2026:1, 2026:2) while more than one window shows that year.
class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT

public:
    // Takes `view` as its widget; the frame is deleted when closed.
    CChildFrame(CTolvaDoc* document, CTolvaView* view, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CTolvaDoc* document() const;
    CTolvaView* view() const;

    // The year the view shows, as the caption names it; the document's title if the view is gone.
    QString yearTitle() const;
    // 0 when no other window shows the same year.
    void setWindowNumber(int number);
    void updateCaption();

signals:
    // Emitted once the window has agreed to close and its view has saved and gone.
    void closed(CChildFrame* frame);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPointer<CTolvaDoc> m_document;
    QPointer<CTolvaView> m_view;
    int m_windowNumber = 0;
    bool m_closed = false;
};
