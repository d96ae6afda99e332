// The fuzz targets' main where they are built without libFuzzer (the normal build, with any
// compiler): each file named, or each file in a folder named, is fed to the target once, as
// libFuzzer does with files it is given. The normal build makes the targets this way so that a
// change that breaks them does not land, and a finding can be replayed without clang.
//   fuzz_<target> FILE|FOLDER...
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool feed(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return false;
    }
    const QByteArray bytes = file.readAll();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    std::fprintf(stderr, "%s: passed\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (!QFileInfo(arg).isDir()) {
            ok = feed(arg) && ok;
            continue;
        }
        for (const QFileInfo& file : QDir(arg).entryInfoList(QDir::Files, QDir::Name)) ok = feed(file.filePath()) && ok;
    }
    return ok ? 0 : 1;
}
