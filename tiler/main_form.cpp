#include "tiler/main_form.h"

#include "tiler/tile_transform.h"

#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPixmap>

namespace {

// The form's font: the system's sans-serif face, 11 pixels high.
QFont FormFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

} // namespace

TFormMain::TFormMain() {
    setObjectName(QStringLiteral("FormMain"));
    SetBounds(192, 114, 281, 329);
    SetCaption(QStringLiteral("비트맵 변형"));
    setFont(FormFont());
    setWindowIcon(QIcon(QPixmap::fromImage(MainIconImage())));

    Image = new TImage(this);
    Image->setObjectName(QStringLiteral("Image"));
    SetControlBounds(Image, 8, 0, 241, 105);

    auto button = [this](const char* name, int left, int top, int width, int height,
                         const QString& caption) {
        auto* b = new TBitBtn(this);
        b->setObjectName(QLatin1String(name));
        SetControlBounds(b, left, top, width, height);
        if (!caption.isEmpty())
            b->SetCaption(caption);
        return b;
    };
    BitBtnOpen = button("BitBtnOpen", 8, 184, 73, 41, QStringLiteral("열기"));
    BitBtnSave = button("BitBtnSave", 88, 184, 73, 41, QStringLiteral("저장"));
    BitBtnChange = button("BitBtnChange", 168, 184, 73, 41, QStringLiteral("변형"));
    BitBtn4 = button("BitBtn4", 8, 232, 241, 49, QString());
    BitBtn4->SetKind(TBitBtnKind::bkOK);

    OpenDialog = new TOpenPictureDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    OpenDialog->DefaultExt = QStringLiteral("*.bmp");
    SaveDialog = new TSavePictureDialog(this);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->DefaultExt = QStringLiteral("*.bmp");

    auto radio = [this](const char* name, int top, const QString& caption) {
        auto* r = new TRadioButton(this);
        r->setObjectName(QLatin1String(name));
        SetControlBounds(r, 16, top, 113, 17);
        r->SetCaption(caption);
        return r;
    };
    RButton22 = radio("RButton22", 120, QStringLiteral("2*2픽셀추출"));
    RButton44 = radio("RButton44", 136, QStringLiteral("4*4필셀추출"));
    RButton88 = radio("RButton88", 152, QStringLiteral("8*8픽셀추출"));

    SetTabOrder({BitBtnOpen, BitBtnSave, BitBtnChange, BitBtn4, RButton22, RButton44, RButton88});

    BitBtnOpen->OnClick = [this](TObject* Sender) { BitBtnOpenClick(Sender); };
    BitBtnSave->OnClick = [this](TObject* Sender) { BitBtnSaveClick(Sender); };
    BitBtnChange->OnClick = [this](TObject* Sender) { BitBtnChangeClick(Sender); };
    BitBtn4->OnClick = [this](TObject* Sender) { BitBtn4Click(Sender); };
}

void TFormMain::BitBtnOpenClick(TObject*) {
    RButton88->SetChecked(true);
    if (!OpenDialog->Execute())
        return;
    const QString fileName = OpenDialog->FileName;
    Image->Picture()->Bitmap().LoadFromFile(fileName);
}

void TFormMain::BitBtnSaveClick(TObject*) {
    if (!SaveDialog->Execute())
        return;
    const QString fileName = SaveDialog->FileName;
    Image->Picture()->Bitmap().SaveToFile(fileName);
}

void TFormMain::BitBtn4Click(TObject*) {
    Close();
}

std::optional<int> TFormMain::BlockSize() const {
    std::optional<int> a;
    if (RButton22->Checked())
        a = 2;
    if (RButton44->Checked())
        a = 4;
    if (RButton88->Checked())
        a = 8;
    return a;
}

void TFormMain::BitBtnChangeClick(TObject*) {
    // Before the first open no radio button is checked: then there is no
    // block size and the button does nothing.
    const std::optional<int> a = BlockSize();
    if (!a)
        return;
    TileTopLeftBlock(Image->Picture()->Bitmap(), *a);
}
