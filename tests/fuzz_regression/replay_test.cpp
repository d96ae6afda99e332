// Every input that once crashed, hung or broke a reader's promise under the fuzzers, fed again
// through the very entry its fuzz target uses.
#include "fuzz/entries.h"
#include "platform/decode/decoder_client.h"
#include "platform/sys/blockingcalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <map>
#include <ostream>
#include <string>

namespace {

const std::map<std::string, QString (*)(const QByteArray&)> kTargets = {
    {"header", &tf::fuzz::headerInfo},     {"settings", &tf::fuzz::settingsRecord},
    {"basket", &tf::fuzz::basketFile},      {"taskbasket", &tf::fuzz::taskBasket},
    {"iptc_template", &tf::fuzz::iptcTemplate}, {"exif_template", &tf::fuzz::exifTemplate},
    {"text_records", &tf::fuzz::textRecords},
    {"tiff_append", &tf::fuzz::tiffAppend}, {"pdf_append", &tf::fuzz::pdfAppend},
    {"pdf_update", &tf::fuzz::pdfUpdate},
    {"loader", &tf::fuzz::loader},          {"jpeg_eighth", &tf::fuzz::jpegEighth},
    {"work_journal", &tf::fuzz::workJournal},
    {"player_package", &tf::fuzz::playerPackage},
    {"tiff_metadata", &tf::fuzz::tiffMetadata},
};

// The loader's inputs are decoded in the decoder program, as the window decodes them: those that
// crash, hang or flood a library cost a decoder, not this run. Short limits keep a hanging input
// to a second.
const bool g_shortLimits = [] {
    tf::decode::DecoderSettings settings;
    settings.timeLimit = std::chrono::milliseconds(1000);
    settings.memoryLimit = int64_t(1) << 30;
    return tf::decode::DecoderPool::configureShared(settings);
}();

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

class FuzzRegression : public testing::TestWithParam<Input> {
public:
    // Decodes on the test's own thread on purpose: each input is replayed through the real readers.
    tf::BlockingCallsAllowed m_blockingHere;
};

TEST_P(FuzzRegression, ReplaysWithoutFault)
{
    const Input& input = GetParam();
    const auto target = kTargets.find(input.target);
    ASSERT_NE(target, kTargets.end()) << "no fuzz target is called " << input.target;
    ASSERT_TRUE(g_shortLimits) << "the limits are set before any decoder starts";
    QFile file(input.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // The reproducers keep their own names, so the loader reads them by their extension; inputs
    // the fuzzer saved pick the extension with their first byte.
    const QString suffix = QFileInfo(input.path).suffix().toLower();
    const QString fault = input.target == "loader" && tf::fuzz::loaderExtensions().contains(suffix)
                              ? tf::fuzz::loadPicture(bytes, suffix)
                              : target->second(bytes);
    EXPECT_TRUE(fault.isEmpty()) << fault.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, testing::ValuesIn(allInputs()), testName);

} // namespace
