#pragma once

class QGroupBox;
class QString;
class QWidget;

namespace pvelm {

// A captioned frame holding one control, the most common piece of the
// console's windows.
QGroupBox *frame(const QString &caption, QWidget *content);

} // namespace pvelm
