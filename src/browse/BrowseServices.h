#pragma once
// What the browse area needs from the window and from the other areas, as small typed interfaces
// handed to the controller when it is made. Every one must be given: a piece that no area
// provides yet is an explicit "not available" object below, never a hook left empty.
#include "frame/MetadataReader.h"
#include "frame/TaskReplay.h"

class ImageBox;
class QString;

namespace tf {

// The window lays out every pane again (frmMain.subResize, which fits the preview too).
class PaneLayout {
public:
    virtual ~PaneLayout() = default;
    virtual void subResize() = 0;
};

// The editing-mode toggle of the preview's Edit button and its menu entry.
class EditModeSwitch {
public:
    virtual ~EditModeSwitch() = default;
    virtual void CmdPreviewEdit_Click() = 0;
};

// The mouse tools' selection on the previewed image, put back to none before a preview command.
class PreviewSelection {
public:
    virtual ~PreviewSelection() = default;
    virtual void subClearSelection() = 0;
};

// Printing the previewed image (its print dialog, then the print, which runs beside the window).
class PreviewPrinter {
public:
    virtual ~PreviewPrinter() = default;
    virtual void PrintImage(ImageBox& control) = 0;
};

// "Image document" of the Save Preview As menu (ControlSaveAs.h: the file is written beside the
// window), and its "Save As greeting image" (the slide show options window, modal).
class PreviewSaver {
public:
    virtual ~PreviewSaver() = default;
    virtual void SaveAs(ImageBox& control) = 0;
};
class SlideShowOptions {
public:
    virtual ~SlideShowOptions() = default;
    virtual void showExecutableOptions() = 0;
};

// ---- what the program hands in while the piece is not built

// No mouse tools yet: there is no selection to clear.
class NoPreviewSelection final : public PreviewSelection {
public:
    void subClearSelection() override {}
};
// No slide show builder yet: the greeting-image entry does nothing.
class SlideShowNotAvailable final : public SlideShowOptions {
public:
    void showExecutableOptions() override {}
};

// Everything the controller is given; references, so that none can be left out.
struct BrowseServices {
    PaneLayout& layout;
    EditModeSwitch& editMode;
    PreviewSelection& selection;
    TaskReplayer& replayer;
    MetadataReader& metadata;
    PreviewPrinter& printer;
    PreviewSaver& saver;
    SlideShowOptions& slideShow;
};

} // namespace tf
