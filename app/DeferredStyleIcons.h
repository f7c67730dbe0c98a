#pragma once

#include <QProxyStyle>

// The style's own icons for title bars and toolbar overflow buttons, made when first drawn instead of when
// asked for. Qt's styles read them through every image plugin installed (and the libraries those load),
// for widgets the planner builds at start-up but rarely shows: the toolbar's and menu bar's overflow
// buttons and the year windows' system menus.
class DeferredStyleIcons : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
