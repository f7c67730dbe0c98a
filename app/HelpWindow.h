#pragma once

#include <QDialog>

class QTextBrowser;

// Help Topics and F1: the short manual shipped inside the program (the text of docs/manual.md, which the
// manual page and the README carry too), in a window of its own beside the planner. Links to the web open
// in the desktop's browser.
class HelpWindow : public QDialog
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // The manual as Markdown.
    static QString manual();
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};
