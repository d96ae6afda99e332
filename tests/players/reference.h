#pragma once
// Painted pictures checked against references kept beside the tests.
#include <QDir>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Pictures are compared with a reference kept beside the tests, channel by channel, allowing the
// small differences another compiler's rounding may make. TF_WRITE_REFERENCES=1 writes them anew.
inline ::testing::AssertionResult matchesReference(const QImage& picture, const QString& name)
{
    const QString path = QDir(QStringLiteral(TF_PLAYERS_REFERENCE_DIR)).filePath(name + QStringLiteral(".png"));
    if (qEnvironmentVariableIntValue("TF_WRITE_REFERENCES") == 1) picture.save(path);
    const QImage reference = QImage(path).convertToFormat(QImage::Format_RGB32);
    const QImage drawn = picture.convertToFormat(QImage::Format_RGB32);
    if (reference.isNull()) return ::testing::AssertionFailure() << "no reference " << path.toStdString();
    if (reference.size() != drawn.size()) return ::testing::AssertionFailure() << "size differs";
    int off = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb a = drawn.pixel(x, y), b = reference.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) > 3 || std::abs(qGreen(a) - qGreen(b)) > 3 || std::abs(qBlue(a) - qBlue(b)) > 3)
                ++off;
        }
    if (off > drawn.width() * drawn.height() / 200) return ::testing::AssertionFailure() << off << " pixels differ";
    return ::testing::AssertionSuccess();
}

} // namespace
