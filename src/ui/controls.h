#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls every window builds the same way. Each takes the control's
// name (its objectName, which tests and screen readers look up) first.
namespace pvelm {

// "WAITING FOR RESPONCE", shown while an exchange of a window runs.
inline constexpr char kWaitingText[] = "WAITING FOR RESPONCE";

// The width of a box that shows `count` copies of `sample` in the widget's
// font, with room for the box's frame and margins.
int boxWidth(const QWidget *widget, int count, QChar sample = QLatin1Char('0'));

// Gives `w` its control name and returns it.
template <typename W> W *named(W *w, const QString &name)
{
    w->setObjectName(name);
    return w;
}

// A captioned frame holding one control, the most common piece of the
// console's windows.
QGroupBox *frame(const QString &caption, QWidget *content);

// A captioned frame with its control name; with `content` it holds that one
// control, without it the caller lays it out.
QGroupBox *groupBox(const char *name, const QString &caption, QWidget *content = nullptr);

// A push button with its caption and its control name.
QPushButton *button(const char *name, const QString &caption);
QPushButton *button(const QString &name, const QString &caption);

// A text box reachable by `accessibleName`, `chars` characters wide: no
// wider (AtMost) or exactly (Fixed).
enum class BoxWidth { AtMost, Fixed };
QLineEdit *textBox(const QString &name, const QString &text, const QString &accessibleName, int chars,
                   BoxWidth width = BoxWidth::AtMost);

// A label that shows a value: screen readers must read the value, so the
// caption goes into the description and the label gets no name. With
// `digits` it is at least that many digits wide.
QLabel *valueLabel(const char *name, const QString &text, const QString &caption, int digits = 0);

} // namespace pvelm
