#include "ChildFrame.h"

#include "Icons.h"
#include "TolvaDoc.h"
#include "TolvaView.h"

#include <QCloseEvent>

CChildFrame::CChildFrame(CTolvaDoc* document, CTolvaView* view, QWidget* parent)
    : QMdiSubWindow(parent), m_document(document), m_view(view)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(Icons::named("tolva"));
    setWidget(view);
    connect(view, &CTolvaView::titleChanged, document, &CTolvaDoc::SetTitle);
    connect(document, &CTolvaDoc::titleChanged, this, &CChildFrame::updateCaption);
    // The document's title is that of whichever of its views painted last, which may show another year.
    connect(view, &CTolvaView::titleChanged, this, &CChildFrame::updateCaption);
    updateCaption();
}

CChildFrame::~CChildFrame()
{
    // The view saves its year as it goes; make sure it goes before the frame's own teardown.
    delete m_view;
}

CTolvaDoc* CChildFrame::document() const
{
    return m_document;
}

CTolvaView* CChildFrame::view() const
{
    return m_view;
}

void CChildFrame::setWindowNumber(int number)
{
    m_windowNumber = number;
    updateCaption();
}

QString CChildFrame::yearTitle() const
{
    if (m_view && m_view->document())
        return QString::number(m_view->shownYear());
    return m_document ? m_document->title() : QString();
}

void CChildFrame::updateCaption()
{
    const QString title = yearTitle();
    setWindowTitle(m_windowNumber > 0 ? QStringLiteral("%1:%2").arg(title).arg(m_windowNumber) : title);
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted() || m_closed)
        return;
    m_closed = true;
    // Saving happens now, not whenever the deferred delete of the frame comes round: the main frame
    // writes the defaults only after every year window has saved.
    delete m_view;
    emit closed(this);
}
