// The loader, decoding in this process as the decoder program does: a picture that breaks an image
// library must break it here, where the fuzzer sees it, not in a decoder child it cannot watch.
#include "fuzz/driver.h"
#include "platform/decode/decoder_server.h"

#include <QStringList>

// The fuzzer drives the readers in its own process, as a decoder runs them: a crash or a hang of
// a library is the finding, and libFuzzer needs it in process to keep the input. The regression
// replay in the test suite goes through the decoder program, as the window does.
[[maybe_unused]] static const bool g_inProcess = (tf::decode::decodeInThisProcess(), true);

namespace {

// A PNM file that starts with a PNM magic number goes to FreeImage; DevIL's PNM reader is given
// only those that do not, and on many of them it seeks back and forth at the end of the file for
// minutes (fuzz/regression/loader/loader-pnm-hang-*, ../shared/repro/devil-pnm-hang.pbm). The
// program ends such a decoder at its time limit; this process has no one to end it, so these
// inputs are not fed here. The suite's replay takes them through the decoder program and its limit.
bool onlyDevilsPnmHang(const QByteArray& bytes)
{
    static const QStringList pnm = {"pbm", "pgm", "ppm"};
    const QStringList& extensions = tf::fuzz::loaderExtensions();
    const quint8 pick = bytes.isEmpty() ? 0 : quint8(bytes.at(0));
    if (!pnm.contains(extensions.at(pick % extensions.size()))) return false;
    const QByteArray picture = bytes.mid(1);
    return !(picture.size() >= 2 && picture[0] == 'P' && picture[1] >= '1' && picture[1] <= '6');
}

QString loaderInProcess(const QByteArray& bytes) { return onlyDevilsPnmHang(bytes) ? QString() : tf::fuzz::loader(bytes); }

} // namespace

TF_FUZZ_TARGET(loaderInProcess)
