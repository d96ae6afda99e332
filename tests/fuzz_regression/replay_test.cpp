// Every input that once crashed, hung or broke a reader's promise under the fuzzers, fed again
// through the very entry its fuzz target uses.
#include "fuzz/entries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <utility>
#include <ostream>
#include <string>

namespace {

const std::map<std::string, QString (*)(const QByteArray&)> kTargets = {
    {"header", &tf::fuzz::headerInfo},     {"settings", &tf::fuzz::settingsRecord},
    {"basket", &tf::fuzz::basketFile},      {"taskbasket", &tf::fuzz::taskBasket},
    {"iptc_template", &tf::fuzz::iptcTemplate}, {"exif_template", &tf::fuzz::exifTemplate},
    {"text_records", &tf::fuzz::textRecords},
    {"tiff_append", &tf::fuzz::tiffAppend}, {"pdf_append", &tf::fuzz::pdfAppend},
    {"loader", &tf::fuzz::loader},
};

// Pictures that still break an image library inside our own process (or take more memory than a
// test run may), by the start of their file names. They are replayed again once pictures are decoded in a separate program that may die
// without taking the window along.
const std::pair<const char*, const char*> kLoaderCrashesInProcess[] = {
    {"devil-ppm-double-free", "DevIL frees the image twice and aborts the process"},
    {"devil-wal-double-free", "DevIL frees a broken WAL image twice and aborts the process"},
    {"devil-pnm-hang", "DevIL's PNM reader loops at the end of the file for ever"},
    {"freeimage-xbm-slow", "FreeImage's XBM reader spins for minutes"},
    {"freeimage-tif-huge-alloc", "FreeImage takes 5 GB of memory for this 141-byte TIFF"},
};

const char* knownLoaderCrash(const QString& fileName)
{
    for (const auto& [start, reason] : kLoaderCrashesInProcess)
        if (fileName.startsWith(QLatin1String(start))) return reason;
    return nullptr;
}

struct Input {
    std::string target;
    QString path;
};

void PrintTo(const Input& input, std::ostream* out) { *out << input.path.toStdString(); }

std::vector<Input> allInputs()
{
    std::vector<Input> inputs;
    const QDir root(QStringLiteral(TF_FUZZ_REGRESSION_DIR));
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        for (const QFileInfo& file : QDir(root.filePath(folder)).entryInfoList(QDir::Files, QDir::Name))
            inputs.push_back({folder.toStdString(), file.filePath()});
    return inputs;
}

std::string testName(const testing::TestParamInfo<Input>& info)
{
    std::string name = info.param.target + "_" + QFileInfo(info.param.path).fileName().toStdString();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class FuzzRegression : public testing::TestWithParam<Input> {};

TEST_P(FuzzRegression, ReplaysWithoutFault)
{
    const Input& input = GetParam();
    const auto target = kTargets.find(input.target);
    ASSERT_NE(target, kTargets.end()) << "no fuzz target is called " << input.target;
    const QFileInfo info(input.path);
    const bool loader = input.target == "loader";
    if (const char* reason = loader ? knownLoaderCrash(info.fileName()) : nullptr) GTEST_SKIP() << reason;

    QFile file(input.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // The reproducers keep their own names, so the loader reads them by their extension; inputs
    // the fuzzer saved pick the extension with their first byte.
    const QString suffix = info.suffix().toLower();
    const QString fault = loader && tf::fuzz::loaderExtensions().contains(suffix)
                              ? tf::fuzz::loadPicture(bytes, suffix)
                              : target->second(bytes);
    EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, testing::ValuesIn(allInputs()), testName);

} // namespace
