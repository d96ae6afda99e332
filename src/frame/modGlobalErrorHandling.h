#pragma once
#include <QString>
#include <cstdint>
#include <source_location>

// The program's title, a blank and its edition text; the title of the frame's messages.
extern QString gstrApplicationName;

// Fills gstrApplicationName (and the reporter's other fixed texts). Safe to call more than once.
void subInitErrorHandling();

// The one program-wide reporter: records the error with the current-activity text and shows the
// error report dialog. RoutineName is the object's name, a point and the procedure's name
// ("modSaveOpenImageList.fncOpenImageBasket"). The caller ends its command afterwards.
void subGlobalErrorHandler(const QString& ErrDescription, int32_t ErrNumber, int16_t LineNumber,
                           const QString& RoutineName);
