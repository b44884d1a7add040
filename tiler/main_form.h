#pragma once

// FormMain, the one window of Tegulo: an image control showing the picture,
// buttons to open, save and transform it and to close the program, and three
// radio buttons choosing the block size of the transform.

#include "platform/forms/controls.h"
#include "platform/forms/dialogs.h"

#include <optional>

class TFormMain : public TForm {
  public:
    TFormMain();

    // The components, in declaration order.
    TImage* Image;
    TBitBtn* BitBtnOpen;
    TBitBtn* BitBtnSave;
    TBitBtn* BitBtnChange;
    TBitBtn* BitBtn4;
    TOpenPictureDialog* OpenDialog;
    TSavePictureDialog* SaveDialog;
    TRadioButton* RButton22;
    TRadioButton* RButton44;
    TRadioButton* RButton88;

    // Checks RButton88, then opens the picture chosen in OpenDialog.
    void BitBtnOpenClick(TObject* Sender);
    // Saves the picture under the name chosen in SaveDialog.
    void BitBtnSaveClick(TObject* Sender);
    // Closes the form, which ends the program.
    void BitBtn4Click(TObject* Sender);
    // Runs the block tiling transform with the block size of the radio buttons.
    void BitBtnChangeClick(TObject* Sender);

    // The block size the radio buttons give: 2, 4 or 8, or none while no
    // radio button is checked.
    std::optional<int> BlockSize() const;
};

// The window icon: a 32 x 32, 16-colour picture of a tiled block.
QImage MainIconImage();
