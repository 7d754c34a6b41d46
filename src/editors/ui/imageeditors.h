#pragma once

#include "editors/codecs.h"
#include "ui/toolwindow.h"

#include <QList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace pvelm {

class Link;

namespace editors {

// The instruction element editor and the packed editor: read an image at a
// line, show its fields as decimal numbers, write them back. They differ in
// the field table and in the routines that carry the image.
class ImageEditor : public ToolWindow
{
    Q_OBJECT

public:
    void Form_Load();
    void Command2_Click(); // Get
    void Command1_Click(); // Put

protected:
    enum class Kind { Element, Packed };
    ImageEditor(Kind kind, Link &link, QWidget *parent);

private:
    void disableGetPut();
    void enableGetPut();
    void fill(const QList<qint64> &values);
    void showStatus(const QString &status, const QString &note);

    Kind m_kind;
    Link &m_link;
    std::span<const ImageField> m_fields;
    QList<QLineEdit *> m_boxes;
    QLineEdit *m_linenumber;
    QScrollBar *m_scroll;
    QPushButton *m_get;
    QPushButton *m_put;
    QPlainTextEdit *m_info;
    QLabel *m_working;
};

} // namespace editors

// "Edit Instruction Element": one program element.
class Insbuilder : public editors::ImageEditor
{
    Q_OBJECT

public:
    Insbuilder(Link &link, QWidget *parent);
};

// "Packed Instruction & Move Editor": one packed instruction-and-move image.
class packedinsbuilder : public editors::ImageEditor
{
    Q_OBJECT

public:
    packedinsbuilder(Link &link, QWidget *parent);
};

} // namespace pvelm
