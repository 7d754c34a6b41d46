#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QScrollBar;
class QWidget;

// Pieces the four editor windows share.
namespace pvelm::editors {

// The line (or location) frame: a text box and a vertical scroll bar whose
// every change writes its value into the box as `digits` decimal digits with
// leading zeros. Typing into the box does not move the bar.
struct LineChooser
{
    QGroupBox *frame;
    QLineEdit *text;
    QScrollBar *bar;
};
LineChooser lineChooser(const QString &frameName, const QString &caption, const char *textName, int minimum,
                        int maximum, int pageStep, int value, int digits);

// The status label `working`: it shows values, so it carries its caption in
// its description and no accessible name.
QLabel *statusLabel(const QString &caption);
// A multi-line packet box.
QPlainTextEdit *packetBox(const char *name, const QString &accessibleName);

} // namespace pvelm::editors
