// A firmware file checked as before a flash: line by line, then as a whole,
// as it stands and converted.
#include "fuzz_support.h"

#include "satcmd/kqttc/firmware_file.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = kq::fuzz::bytes(data, size);
    for (const QString& line : firmware_file::lines(input)) {
        const bool bad = kq::fuzz::refused([&] { firmware_file::check_record(line); });
        if (!bad && !line.startsWith(QLatin1Char('S')))
            kq::fuzz::broken("a line not starting with S was accepted");
    }
    for (const bool convert : {false, true}) {
        kq::fuzz::refused([&] {
            const firmware_file file(input, convert);
            // What is sent is always of the types the transceiver takes,
            // and the result reads back as the same records.
            for (const QString& record : file.records()) {
                if (record.size() < 2 || !QStringLiteral("01379").contains(record.at(1)))
                    kq::fuzz::broken("a record of a type the transceiver does not take");
            }
            if (firmware_file(file.text()).records() != file.records())
                kq::fuzz::broken("the checked records do not read back as themselves");
        });
    }
    return 0;
}
