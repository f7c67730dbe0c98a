#pragma once

#include <QObject>
#include <QString>

// The document of one or more year windows (File New makes one, Window New Window adds a window to it).
// It holds nothing but its title: the year's data lives in the shared YearDocument of the model, and
// nothing is ever read from or written to a file through this class.
class CTolvaDoc : public QObject
{
    Q_OBJECT

public:
    explicit CTolvaDoc(QObject* parent = nullptr);

    QString title() const { return m_title; }
    // The views set it to their year after every paint.
    void SetTitle(const QString& title);

signals:
    void titleChanged(const QString& title);

private:
    QString m_title;
};
