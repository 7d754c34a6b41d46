#pragma once

#include "ui/toolwindow.h"

namespace pvelm {

// "About PVelm": the program's name and version.
class Aboutform : public ToolWindow
{
    Q_OBJECT

public:
    explicit Aboutform(QWidget *parent);
};

} // namespace pvelm
