#pragma once

class QGroupBox;
class QPushButton;
class QString;
class QWidget;

namespace pvelm {

// A captioned frame holding one control, the most common piece of the
// console's windows.
QGroupBox *frame(const QString &caption, QWidget *content);

// A push button with its caption and its control name.
QPushButton *button(const char *name, const QString &caption);

} // namespace pvelm
