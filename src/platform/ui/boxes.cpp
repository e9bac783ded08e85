// Message boxes: application-modal, each with its own event loop, in which
// the program's timers keep firing.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

#include "../runtime.h"
#include "../system/process.h"
#include "panel_p.h"

namespace {

// Qt's Windows style pulses a box's default button, repainting it about every
// 0.4 s for as long as the box stands, and a cable pulled overnight leaves a
// "COM Error" box up for hours. The boxes' buttons are drawn as plain ones:
// nothing moves while a box waits, and Enter still presses the default.
class StillButtons : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element != CE_PushButtonBevel || !button || !(button->features & QStyleOptionButton::DefaultButton)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionButton plain(*button);
        plain.features &= ~QStyleOptionButton::DefaultButton;
        QProxyStyle::drawControl(element, &plain, painter, widget);
    }
};

QStyle* stillButtons()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new StillButtons(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

}  // namespace

int MessagePopup(std::string_view title, std::string_view message, std::string_view detail)
{
    // The program is ending: no box may hold it up.
    if (TerminationRequested()) return 0;
    QMessageBox box;
    box.setWindowTitle(QString::fromUtf8(title.data(), qsizetype(title.size())));
    box.setText(QString::fromUtf8(message.data(), qsizetype(message.size())));
    box.setTextFormat(Qt::PlainText);
    if (!detail.empty()) box.setDetailedText(QString::fromUtf8(detail.data(), qsizetype(detail.size())));
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    for (QPushButton* button : box.findChildren<QPushButton*>()) button->setStyle(stillButtons());
    RequestHeldRepaints();  // what the status says while the box waits
    box.exec();
    return 0;
}
