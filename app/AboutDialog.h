#pragma once

#include <QDialog>

// Help > About Tolva: name, version (the build's), what it is, copyright, licence and home page. Modal,
// with nothing to do but close.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr auto kLicense = "GPL-3.0-or-later";

    explicit AboutDialog(QWidget* parent = nullptr);

    static QString version();
    static QString copyright();
    static QString homePage();
};
