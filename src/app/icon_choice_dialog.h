// The dialog in which a person picks one image of an icon file that holds
// several: a list of the images and a preview of the one selected.
#pragma once

#include "graphics/image_files.h"
#include "ui/form.h"
#include "ui/paint_box.h"

namespace tarn::ui {

class TIconChoiceForm : public Form {
public:
    explicit TIconChoiceForm(const TIconChoice& choice);

    ListBox& ListBox1;
    PaintBox& Image;
    Button& OKBtn;

    // Shows image index in the preview: over white, centred, scaled down to
    // fit the 100 x 100 box when it is larger.
    void Preview(int32_t index);

private:
    const TIconChoice& choice_;
};

// Shows the dialog modally and returns the selected image's index.
int32_t ChooseIcon(const TIconChoice& choice);
// Makes icon loads that ask for a choice use this dialog.
void ConnectIconChooser();

} // namespace tarn::ui
