// Any bytes as a picture file, through the program's own loading path: decoding must neither
// crash nor hang, and a picture it accepts must be a usable grey buffer.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>

#include "SilentMessages.h"
#include "ui/PictureLoader.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The image format plugins are found through the application's library paths.
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Damaged pictures are the point here; the decoders' complaints about them are noise.
    QLoggingCategory::setFilterRules("qt.gui.imageio*=false");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    std::string error;
    // A smaller machine than this one: the loader's own memory check refuses the pictures that
    // would only make the fuzzer run out of memory, through the program's real path.
    const auto bitmap = PictureLoader::loadData(bytes, error, std::uint64_t{256} << 20);
    if (bitmap) {
        if (bitmap->W <= 0 || bitmap->H <= 0
            || bitmap->stride() < static_cast<std::size_t>(bitmap->W))
            std::abort();
        volatile std::uint8_t sink = bitmap->grey(bitmap->W - 1, bitmap->H - 1);
        (void)sink;
    } else if (error.empty()) {
        std::abort(); // a refusal always says why
    }
    return 0;
}
