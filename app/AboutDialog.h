#pragma once

#include <QDialog>

// Help > About Tolva: the program's name, version and what it is. Modal, with nothing to do but close.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
};
