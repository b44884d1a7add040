#pragma once

// File dialogs on Qt's own (non-native) file dialog, so every desktop behaves
// alike. Each dialog object remembers the file name and filter last chosen in
// it and proposes them the next time. The picture dialogs add a preview of the
// selected picture beside the file list and list the picture file types.

#include "platform/forms/controls.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QFileDialog;

class TOpenDialog : public QObject, public TObject {
  public:
    explicit TOpenDialog(TForm* owner);

    // Filter in "Name|patterns|Name|patterns" form, patterns joined by ';'.
    QString Filter;
    // 1-based index of the filter entry selected.
    int FilterIndex = 1;
    // Extension given to a name typed without one; "*.bmp" and "bmp" alike.
    QString DefaultExt;
    // The full path chosen; proposed again at the next Execute.
    QString FileName;
    QString Title;

    // Shows the dialog; true when the user chose a file.
    bool Execute();

    // Test seam: when set, Execute calls the hook instead of showing a dialog;
    // the hook may set FileName and FilterIndex and returns what Execute would.
    using ExecuteHook = std::function<bool(TOpenDialog& dialog)>;
    static void SetExecuteHook(ExecuteHook hook);

    bool IsSaveDialog() const { return save_; }
    // The filter entries as the dialog lists them, e.g. "Bitmaps (*.bmp)".
    QStringList FilterNames() const;

  protected:
    TOpenDialog(TForm* owner, bool save, bool preview);

  private:
    void Configure(QFileDialog& dialog) const;
    bool save_ = false;
    bool preview_ = false;
};

// A save dialog: does not ask before replacing an existing file.
class TSaveDialog : public TOpenDialog {
  public:
    explicit TSaveDialog(TForm* owner) : TOpenDialog(owner, true, false) {}

  protected:
    TSaveDialog(TForm* owner, bool preview) : TOpenDialog(owner, true, preview) {}
};

class TOpenPictureDialog : public TOpenDialog {
  public:
    explicit TOpenPictureDialog(TForm* owner);
};

class TSavePictureDialog : public TSaveDialog {
  public:
    explicit TSavePictureDialog(TForm* owner);
};

// The filter of the picture dialogs: All, Bitmaps, Icons, Enhanced Metafiles,
// Metafiles.
QString PictureDialogFilter();
