#pragma once

#include "boardtools/paramblock.h"
#include "ui/toolwindow.h"

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pvelm {

class Link;

// "Board Parameters": the board's parameter block as check boxes, options
// and number boxes. Opening it reads the block; Store Parameters writes the
// fields it shows into the working copy (which outlives the window: the main
// window owns it) and sends it; Reload from eeprom tells the board to take
// the stored block as its working parameters.
class Parametercon : public ToolWindow
{
    Q_OBJECT

public:
    Parametercon(Link &link, std::optional<boardtools::ParamBlock> &workingCopy, QWidget *parent);

    void Form_Load();
    void GparamX_Click();
    void StoreparamX_Click();
    void recon_Click();

private:
    struct ButtonStates
    {
        bool get, store, reload;
    };
    ButtonStates buttonStates() const;
    void setButtons(ButtonStates states);
    // Get and Reload: one exchange with the buttons off and the waiting text
    // shown; nothing when the link refused it (the buttons are as before).
    std::optional<LinkResult> runExchange(LinkResult (*exchange)(Link &));
    void fill(const boardtools::ParamFields &f);
    boardtools::StoreInput storeInput() const;

    Link &m_link;
    std::optional<boardtools::ParamBlock> &m_copy;

    QPushButton *m_gparamX;
    QPushButton *m_storeparamX;
    QPushButton *m_recon;
    QLabel *m_responce;
    QLineEdit *m_infoPacket;
    QCheckBox *m_uselimits;
    QLineEdit *m_minpulse;
    QLineEdit *m_maxpulse;
    QRadioButton *m_reporton;
    QRadioButton *m_reportoff;
    QLineEdit *m_reportrate;
    std::array<QCheckBox *, 8> m_servos1{};
    QCheckBox *m_iocon1;
    QCheckBox *m_runonhw;
    QCheckBox *m_runonpb;
    QCheckBox *m_runonpu;
    QRadioButton *m_modeseperate;
    QRadioButton *m_modecommon;
    QRadioButton *m_modeother;
};

} // namespace pvelm
