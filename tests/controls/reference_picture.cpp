#include "reference_picture.h"

#include <QDir>
#include <algorithm>
#include <cstdlib>

namespace tf::test {

namespace {

constexpr int kChannelTolerance = 48;
constexpr double kAllowedOffPixels = 0.01;

} // namespace

::testing::AssertionResult matchesReferencePicture(const QImage& picture, const QString& name)
{
    const QString path = QStringLiteral(TF_TEST_DATA_DIR) + QStringLiteral("/") + name + QStringLiteral(".png");
    const QImage shown = picture.convertToFormat(QImage::Format_RGB32);
    if (qEnvironmentVariableIntValue("TF_WRITE_REFERENCE_PICTURES") == 1) {
        if (!shown.save(path)) return ::testing::AssertionFailure() << "cannot write " << path.toStdString();
        return ::testing::AssertionSuccess() << "written";
    }
    QImage reference(path);
    if (reference.isNull()) return ::testing::AssertionFailure() << "no reference picture " << path.toStdString();
    reference = reference.convertToFormat(QImage::Format_RGB32);
    if (reference.size() != shown.size())
        return ::testing::AssertionFailure() << name.toStdString() << ": size " << shown.width() << "x" << shown.height()
                                             << ", reference " << reference.width() << "x" << reference.height();
    int off = 0;
    for (int y = 0; y < shown.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
        for (int x = 0; x < shown.width(); ++x) {
            const int d = std::max({std::abs(qRed(a[x]) - qRed(b[x])), std::abs(qGreen(a[x]) - qGreen(b[x])),
                                    std::abs(qBlue(a[x]) - qBlue(b[x]))});
            if (d > kChannelTolerance) ++off;
        }
    }
    const int allowed = int(shown.width() * shown.height() * kAllowedOffPixels);
    if (off > allowed) {
        shown.save(QDir::current().filePath(name + QStringLiteral("-actual.png")));
        return ::testing::AssertionFailure() << name.toStdString() << ": " << off << " pixels differ (allowed " << allowed
                                             << "); the picture shown is written beside the test as " << name.toStdString()
                                             << "-actual.png";
    }
    return ::testing::AssertionSuccess();
}

} // namespace tf::test
