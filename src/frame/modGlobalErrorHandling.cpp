#include "frame/modGlobalErrorHandling.h"

#include "frame/globals.h"
#include "version_info.h"

QString gstrCurrentOperation;
int16_t gblnCancelOperation = 0;
QString gstrApplicationName;

void subInitErrorHandling()
{
    gstrApplicationName = QString::fromUtf8(tf::version::kTitle) + QLatin1Char(' ')
                          + QString::fromUtf8(tf::version::kComments);
}

void subGlobalErrorHandler(const QString& ErrDescription, int32_t ErrNumber, int16_t LineNumber,
                           const QString& RoutineName)
{
    // Placeholder until the error report dialog exists.
    qWarning("%s: %d - %s (line %d)", qPrintable(RoutineName), ErrNumber, qPrintable(ErrDescription), LineNumber);
}
