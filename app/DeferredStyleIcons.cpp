#include "DeferredStyleIcons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <QWidget>

#include <optional>

namespace {

bool deferrable(QStyle::StandardPixmap icon)
{
    switch (icon) {
    case QStyle::SP_TitleBarMenuButton:
    case QStyle::SP_TitleBarMinButton:
    case QStyle::SP_TitleBarMaxButton:
    case QStyle::SP_TitleBarCloseButton:
    case QStyle::SP_TitleBarNormalButton:
    case QStyle::SP_TitleBarShadeButton:
    case QStyle::SP_TitleBarUnshadeButton:
    case QStyle::SP_TitleBarContextHelpButton:
    case QStyle::SP_ToolBarHorizontalExtensionButton:
    case QStyle::SP_ToolBarVerticalExtensionButton:
        return true;
    default:
        return false;
    }
}

// Asks the style for the icon the first time anything needs it, and answers from then on as it does.
class DeferredIconEngine final : public QIconEngine
{
public:
    DeferredIconEngine(const QStyle* style, QStyle::StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget)
        : m_style(const_cast<QStyle*>(style)), m_icon(icon), m_widget(const_cast<QWidget*>(widget))
    {
        // These icons depend on the option's direction at most, which the base class carries.
        if (option)
            m_option = *option;
    }

    QIconEngine* clone() const override { return new DeferredIconEngine(*this); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        real().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return real().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return real().availableSizes(mode, state);
    }
    bool isNull() override { return real().isNull(); }
    void virtual_hook(int id, void* data) override
    {
        if (id == QIconEngine::ScaledPixmapHook) {
            auto* argument = static_cast<QIconEngine::ScaledPixmapArgument*>(data);
            argument->pixmap = real().pixmap(argument->size / argument->scale, argument->scale,
                                             argument->mode, argument->state);
            return;
        }
        QIconEngine::virtual_hook(id, data);
    }

private:
    const QIcon& real()
    {
        if (!m_real)
            m_real =
                m_style ? m_style->standardIcon(m_icon, m_option ? &*m_option : nullptr, m_widget) : QIcon();
        return *m_real;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_icon;
    QPointer<QWidget> m_widget;
    std::optional<QStyleOption> m_option;
    std::optional<QIcon> m_real;
};

} // namespace

QIcon DeferredStyleIcons::standardIcon(StandardPixmap icon, const QStyleOption* option,
                                       const QWidget* widget) const
{
    if (!deferrable(icon))
        return QProxyStyle::standardIcon(icon, option, widget);
    return QIcon(new DeferredIconEngine(baseStyle(), icon, option, widget));
}
