#pragma once
#include "frame/modSettings.h"

namespace tf {

// The order of the settings file, in one place: every reader and writer of the file walks the
// record through this function, so the encoder and the decoder cannot disagree.
//
// The visitor offers
//   field(name, index, member)  for uint8_t, int16_t, int32_t, double and variable-length QString
//   fixed(name, member)         for the 256-byte text members
// index is the array element for array members and -1 otherwise. Rec may be const.
template <class Rec, class Visitor>
void visitSettingsFields(Rec& s, Visitor& v)
{
    auto& sd = s.SaveDialog;
    v.field("SaveDialog.TiffCompression", -1, sd.TiffCompression);
    v.field("SaveDialog.ColorFormat", -1, sd.ColorFormat);
    v.field("SaveDialog.AppendMode", -1, sd.AppendMode);
    v.field("SaveDialog.OutputMode", -1, sd.OutputMode);
    v.field("SaveDialog.ProcessTaskList", -1, sd.ProcessTaskList);

    auto& bs = s.BatchSave;
    v.field("BatchSave.OutputFormat", -1, bs.OutputFormat);
    v.field("BatchSave.TiffCompression", -1, bs.TiffCompression);
    v.field("BatchSave.ColorFormat", -1, bs.ColorFormat);
    v.field("BatchSave.RenameSuffix", -1, bs.RenameSuffix);
    v.field("BatchSave.RenamePrefix", -1, bs.RenamePrefix);
    v.field("BatchSave.Separator1", -1, bs.Separator1);
    v.field("BatchSave.Separator2", -1, bs.Separator2);
    v.field("BatchSave.RenameMode", -1, bs.RenameMode);
    v.field("BatchSave.GenericName", -1, bs.GenericName);
    v.field("BatchSave.CounterText", -1, bs.CounterText);
    v.field("BatchSave.DestinationMode", -1, bs.DestinationMode);
    v.fixed("BatchSave.DestinationFolder", bs.DestinationFolder);
    v.field("BatchSave.Overwrite", -1, bs.Overwrite);
    v.field("BatchSave.Accepted", -1, bs.Accepted);
    v.field("BatchSave.ImportIPTC", -1, bs.ImportIPTC);
    v.field("BatchSave.ImportEXIF", -1, bs.ImportEXIF);
    v.field("BatchSave.IptcTemplateFile", -1, bs.IptcTemplateFile);
    v.field("BatchSave.ExifTemplateFile", -1, bs.ExifTemplateFile);
    v.field("BatchSave.ProcessTaskList", -1, bs.ProcessTaskList);

    v.field("ShowToolTips", -1, s.ShowToolTips);
    v.field("WindowWidth", -1, s.WindowWidth);
    v.field("WindowHeight", -1, s.WindowHeight);
    v.field("WindowReserved", -1, s.WindowReserved);
    for (int i = 0; i < 4; ++i) v.field("SplitterPosition", i, s.SplitterPosition[i]);
    v.fixed("TreeFolder", s.TreeFolder);
    v.field("PreviewFit", -1, s.PreviewFit);
    v.field("PreviewType", -1, s.PreviewType);
    v.field("PreviewBackColor", -1, s.PreviewBackColor);
    v.field("FolderView", -1, s.FolderView);
    for (int i = 0; i < 8; ++i) v.field("FolderColumnWidth", i, s.FolderColumnWidth[i]);
    v.field("FolderFullRowSelect", -1, s.FolderFullRowSelect);
    v.field("FolderThumbWidth", -1, s.FolderThumbWidth);
    v.field("FolderThumbHeight", -1, s.FolderThumbHeight);
    v.field("LongFileSize", -1, s.LongFileSize);
    for (int i = 0; i < 5; ++i) v.field("PagesColumnWidth", i, s.PagesColumnWidth[i]);
    v.field("PagesFullRowSelect", -1, s.PagesFullRowSelect);
    v.field("PagesThumbWidth", -1, s.PagesThumbWidth);
    v.field("PagesThumbHeight", -1, s.PagesThumbHeight);
    v.field("PagesReserved1", -1, s.PagesReserved1);
    v.field("PagesReserved2", -1, s.PagesReserved2);
    v.fixed("CurrentFolder", s.CurrentFolder);
    for (int i = 0; i < 4; ++i) v.field("MetadataColumnWidth", i, s.MetadataColumnWidth[i]);

    auto& tw = s.Twain;
    v.field("Twain.AcquireOption", -1, tw.AcquireOption);
    v.field("Twain.FileOption", -1, tw.FileOption);
    v.field("Twain.GenericName", -1, tw.GenericName);
    v.field("Twain.SinglePageFormat", -1, tw.SinglePageFormat);
    v.field("Twain.MultiPageFormat", -1, tw.MultiPageFormat);
    v.field("Twain.Overwrite", -1, tw.Overwrite);
    v.field("Twain.Folder", -1, tw.Folder);

    auto& t = s.Tasks;
    v.field("Tasks.ResizeMode", -1, t.ResizeMode);
    v.field("Tasks.ResizeKeepRatio", -1, t.ResizeKeepRatio);
    v.field("Tasks.ResizeResample", -1, t.ResizeResample);
    v.field("Tasks.ResizeScale", -1, t.ResizeScale);
    v.field("Tasks.CanvasColor", -1, t.CanvasColor);
    for (int i = 0; i < 4; ++i) v.field("Tasks.CanvasMargin", i, t.CanvasMargin[i]);
    v.field("Tasks.RotateDegrees", -1, t.RotateDegrees);
    v.field("Tasks.RotateResample", -1, t.RotateResample);
    v.field("Tasks.RotateBackColor", -1, t.RotateBackColor);
    v.field("Tasks.ContrastLevel", -1, t.ContrastLevel);
    v.field("Tasks.ContrastRed", -1, t.ContrastRed);
    v.field("Tasks.ContrastGreen", -1, t.ContrastGreen);
    v.field("Tasks.ContrastBlue", -1, t.ContrastBlue);
    v.field("Tasks.BrightnessLevel", -1, t.BrightnessLevel);
    v.field("Tasks.BrightnessRed", -1, t.BrightnessRed);
    v.field("Tasks.BrightnessGreen", -1, t.BrightnessGreen);
    v.field("Tasks.BrightnessBlue", -1, t.BrightnessBlue);
    v.field("Tasks.BlurLevel", -1, t.BlurLevel);
    v.field("Tasks.SharpenLevel", -1, t.SharpenLevel);
    v.field("Tasks.CropMode", -1, t.CropMode);
    v.field("Tasks.CropChoice", -1, t.CropChoice);
    v.field("Tasks.Text", -1, t.Text);
    v.field("Tasks.TextTransparent", -1, t.TextTransparent);
    v.field("Tasks.TextBackColor", -1, t.TextBackColor);
    v.field("Tasks.ResizeFilter", -1, t.ResizeFilter);
    v.field("Tasks.TextPosition", -1, t.TextPosition);
    v.field("Tasks.TextFontIndex", -1, t.TextFontIndex);
    v.field("Tasks.TextFontSize", -1, t.TextFontSize);
    v.field("Tasks.TextColor", -1, t.TextColor);
    v.field("Tasks.TextBold", -1, t.TextBold);
    v.field("Tasks.TextReserved1", -1, t.TextReserved1);
    v.field("Tasks.TextReserved2", -1, t.TextReserved2);
    v.field("Tasks.TextAngle", -1, t.TextAngle);
    v.field("Tasks.TextAlignment", -1, t.TextAlignment);
    v.field("Tasks.TextOrientation", -1, t.TextOrientation);
    v.field("Tasks.FlipMode", -1, t.FlipMode);
    v.field("Tasks.WatermarkTransparent", -1, t.WatermarkTransparent);
    v.field("Tasks.WatermarkMergeStyle", -1, t.WatermarkMergeStyle);
    v.field("Tasks.WatermarkTransparentColor", -1, t.WatermarkTransparentColor);
    v.field("Tasks.WatermarkTransparency", -1, t.WatermarkTransparency);
    v.field("Tasks.WatermarkImage", -1, t.WatermarkImage);
    v.field("Tasks.FrameStyle", -1, t.FrameStyle);
    v.field("Tasks.FrameSize", -1, t.FrameSize);
    v.field("Tasks.FrameColor", -1, t.FrameColor);
    v.field("Tasks.FramePictureIndex", -1, t.FramePictureIndex);
    v.field("Tasks.FrameResizeCanvas", -1, t.FrameResizeCanvas);
    v.field("Tasks.MaskIndex", -1, t.MaskIndex);
    v.field("Tasks.MaskTransparent", -1, t.MaskTransparent);
    v.field("Tasks.MaskLevel", -1, t.MaskLevel);
    v.field("Tasks.ShadowIndex", -1, t.ShadowIndex);

    auto& sv = s.Saver;
    v.field("Saver.PageBackColor", -1, sv.PageBackColor);
    v.field("Saver.Interval", -1, sv.Interval);
    v.field("Saver.ProcessTaskList", -1, sv.ProcessTaskList);
    v.field("Saver.JpegQuality", -1, sv.JpegQuality);
    v.field("Saver.PlayerType", -1, sv.PlayerType);

    auto& c = s.Capture;
    v.field("Capture.CaptureMode", -1, c.CaptureMode);
    v.field("Capture.GenericName", -1, c.GenericName);
    v.field("Capture.Folder", -1, c.Folder);

    auto& e = s.EffectExe;
    v.field("EffectExe.Style", -1, e.Style);
    v.field("EffectExe.GreetingText", -1, e.GreetingText);
    v.field("EffectExe.RollingTextColor", -1, e.RollingTextColor);
    v.field("EffectExe.ClockKind", -1, e.ClockKind);
    v.field("EffectExe.ShowDate", -1, e.ShowDate);
    v.field("EffectExe.DateColor", -1, e.DateColor);
    v.field("EffectExe.DigitalClockColor", -1, e.DigitalClockColor);
    v.field("EffectExe.HourHandColor", -1, e.HourHandColor);
    v.field("EffectExe.MinuteHandColor", -1, e.MinuteHandColor);
    v.field("EffectExe.SecondHandColor", -1, e.SecondHandColor);

    auto& p = s.Print;
    v.field("Print.PrintSetting1", -1, p.PrintSetting1);
    v.field("Print.PrintSetting2", -1, p.PrintSetting2);
    v.field("Print.PrintSetting3", -1, p.PrintSetting3);
    v.field("Print.PrintSetting4", -1, p.PrintSetting4);
    v.field("Print.PrintSetting5", -1, p.PrintSetting5);
    v.field("Print.PrintSetting6", -1, p.PrintSetting6);
    v.field("Print.PrintSetting7", -1, p.PrintSetting7);
    v.field("Print.PrintSetting8", -1, p.PrintSetting8);
    v.field("Print.PrintSetting9", -1, p.PrintSetting9);
    v.field("Print.PrintSetting10", -1, p.PrintSetting10);

    // Added after the original record, so that every earlier member keeps its offset.
    v.field("Tasks.TextFontName", -1, t.TextFontName);
}

} // namespace tf
