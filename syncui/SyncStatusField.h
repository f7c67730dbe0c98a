#pragma once

#include <QLabel>
#include <QMouseEvent>

// The status bar's sync field: the sync's state in a word or two; a click opens its details.
class SyncStatusField : public QLabel
{
    Q_OBJECT

public:
    explicit SyncStatusField(QWidget* parent = nullptr) : QLabel(parent)
    {
        setObjectName(QStringLiteral("syncStatus"));
        setAccessibleName(tr("Calendar sync"));
        setCursor(Qt::PointingHandCursor);
    }

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            emit clicked();
        QLabel::mousePressEvent(event);
    }
};
