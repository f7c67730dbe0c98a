#include "AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

QString AboutDialog::version()
{
    return QStringLiteral(TOLVA_VERSION);
}

QString AboutDialog::copyright()
{
    return QString::fromUtf8(TOLVA_COPYRIGHT);
}

QString AboutDialog::homePage()
{
    return QStringLiteral(TOLVA_HOMEPAGE);
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Tolva"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/tolva.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    const auto label = [this](const QString& objectName, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(objectName);
        l->setWordWrap(true);
        return l;
    };
    QLabel* name = label(QStringLiteral("name"), QStringLiteral("<b>Tolva</b> Version %1").arg(version()));
    name->setWordWrap(false);
    QLabel* what =
        label(QStringLiteral("what"),
              QStringLiteral(
                  "A year planner: the whole year on one page, with projects, red days, memos and alarms."));
    QLabel* rights = label(QStringLiteral("copyright"), copyright().toHtmlEscaped());
    QLabel* licence = label(
        QStringLiteral("license"),
        QStringLiteral("Tolva is free software: you can redistribute it and/or modify it under the terms of "
                       "the GNU General Public License, version 3 or (at your option) any later version "
                       "(%1). It comes with ABSOLUTELY NO WARRANTY. "
                       "<a href=\"https://www.gnu.org/licenses/gpl-3.0.html\">The licence</a>")
            .arg(QLatin1String(kLicense)));
    QLabel* home = label(QStringLiteral("homePage"),
                         QStringLiteral("<a href=\"%1\">%1</a>").arg(homePage().toHtmlEscaped()));
    for (QLabel* l : {licence, home}) {
        l->setOpenExternalLinks(true);
        l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    }

    auto* texts = new QVBoxLayout;
    for (QLabel* l : {name, what, rights, licence, home})
        texts->addWidget(l);
    texts->addStretch();
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}
