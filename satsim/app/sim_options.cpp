#include "sim_options.h"

#include <QCommandLineParser>
#include <QDir>

#include "satcmd/strict_number.h"

#include <cmath>

#include <unistd.h>

namespace kq::satsim {

namespace {

using api::proto::strict_number;

bool parse_address(const QString& text, uint8_t& out)
{
    int value = 0;
    if (!strict_number::to_int(text, value, 1, 0xFF)) // 0x22 or 34
        return false;
    out = uint8_t(value);
    return true;
}

bool parse_fraction(const QString& text, double& out)
{
    double value = 0.0;
    if (!strict_number::to_real(text, value) || value < 0.0 || value > 1.0)
        return false;
    out = value;
    return true;
}

bool parse_whole(const QString& text, int& out, int minimum, int maximum)
{
    return strict_number::to_int(text, out, minimum, maximum, false);
}

// "MS" or "MIN-MAX", milliseconds.
bool parse_span(const QString& text, int& low, int& high)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() > 2 || !parse_whole(parts.first(), low, 1, 600000))
        return false;
    if (parts.size() == 1)
        high = low;
    return parts.size() == 1 || (parse_whole(parts.last(), high, 1, 600000) && high >= low);
}

} // namespace

QString sim_options::default_link()
{
    // The user's runtime directory when the session has one, else a private
    // folder in the temporary directory.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/satsim-uhf");
    return QDir::tempPath() + QStringLiteral("/satsim-%1/uhf").arg(::getuid());
}

bool sim_options::parse(const QStringList& arguments, QString& error)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("The simulated satellite: a UHF transceiver on a pseudo-terminal, over the "
                       "air a second transceiver and the on-board computer behind it; an FSPS "
                       "module and an X-band transmitter on ports of their own."));
    const QCommandLineOption help_option({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("Show this help."));
    const QCommandLineOption local({QStringLiteral("local-addr")},
                                   QStringLiteral("Address of the transceiver on the wire."),
                                   QStringLiteral("ADDR"), QStringLiteral("0x22"));
    const QCommandLineOption remote({QStringLiteral("remote-addr")},
                                    QStringLiteral("Address of the transceiver over the air."),
                                    QStringLiteral("ADDR"), QStringLiteral("0x23"));
    const QCommandLineOption obc({QStringLiteral("obc-addr")},
                                 QStringLiteral("Address of the on-board computer."),
                                 QStringLiteral("ADDR"), QStringLiteral("0x11"));
    const QCommandLineOption freq({QStringLiteral("freq")},
                                  QStringLiteral("Radio frequency of both transceivers."),
                                  QStringLiteral("MHZ"), QStringLiteral("435.0"));
    const QCommandLineOption scw_option({QStringLiteral("scw")},
                                        QStringLiteral("Starting status word (16 bits)."),
                                        QStringLiteral("WORD"));
    const QCommandLineOption period({QStringLiteral("beacon-period")},
                                    QStringLiteral("Seconds between beacons; 0 for none."),
                                    QStringLiteral("SECONDS"), QStringLiteral("10"));
    const QCommandLineOption text({QStringLiteral("beacon-text")},
                                  QStringLiteral("Information field of the beacons."),
                                  QStringLiteral("TEXT"), QStringLiteral("KQ SAT ONLINE"));
    const QCommandLineOption store({QStringLiteral("store")},
                                   QStringLiteral("Directory of the on-board computer's files "
                                                  "(default: a temporary store with samples)."),
                                   QStringLiteral("DIR"));
    const QCommandLineOption pacing_option(
        {QStringLiteral("pacing")}, QStringLiteral("Pace the serial and radio links as hardware."));
    const QCommandLineOption drop_option({QStringLiteral("drop")},
                                         QStringLiteral("Fraction of answers dropped (0 to 1)."),
                                         QStringLiteral("FRACTION"), QStringLiteral("0"));
    const QCommandLineOption corrupt_option(
        {QStringLiteral("corrupt")}, QStringLiteral("Fraction of answers with a spoilt CRC."),
        QStringLiteral("FRACTION"), QStringLiteral("0"));
    const QCommandLineOption late_option(
        {QStringLiteral("late")},
        QStringLiteral("Fraction of answers held back and sent late (see --late-ms); the "
                       "answers after them wait behind them, as on a slow line."),
        QStringLiteral("FRACTION"), QStringLiteral("0"));
    const QCommandLineOption late_ms_option(
        {QStringLiteral("late-ms")},
        QStringLiteral("How late: milliseconds after the command, or a range MIN-MAX."),
        QStringLiteral("MS"), QStringLiteral("1200-2000"));
    const QCommandLineOption late_overtaken_option(
        {QStringLiteral("late-overtaken")},
        QStringLiteral("Late answers are overtaken by the answers after them, as no serial "
                       "line does (also the X-band replies): for trying the answer shapes."));
    const QCommandLineOption cut_option(
        {QStringLiteral("cut")},
        QStringLiteral("Fraction of answers cut off halfway; the rest never comes."),
        QStringLiteral("FRACTION"), QStringLiteral("0"));
    const QCommandLineOption echo_option(
        {QStringLiteral("echo")},
        QStringLiteral("Start both transceivers with their echo bit on: every line comes back "
                       "before its answer."));
    const QCommandLineOption chatter_option(
        {QStringLiteral("chatter")},
        QStringLiteral("An unrelated line (\"DBG ...\") from the wire every MS milliseconds."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption high_option(
        {QStringLiteral("high-bytes")},
        QStringLiteral("The transceivers' version text carries a byte above 0x7F."));
    const QCommandLineOption misstore_option(
        {QStringLiteral("misstore")},
        QStringLiteral("The transceivers store a written beacon period one more than written, "
                       "and the X-band transmitter its transmit power, and answer OK."));
    const QCommandLineOption text_reply_option(
        {QStringLiteral("text-reply")},
        QStringLiteral("The far station answers each free text line with \"ROGER \" and the "
                       "text."));
    const QCommandLineOption text_period_option(
        {QStringLiteral("text-period")},
        QStringLiteral("The far station sends a free text line every S seconds (0: never)."),
        QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption xband_late_option(
        {QStringLiteral("xband-late")},
        QStringLiteral("Fraction of X-band replies held back by --late-ms; later replies "
                       "overtake them."),
        QStringLiteral("FRACTION"), QStringLiteral("0"));
    const QCommandLineOption spoil_option(
        {QStringLiteral("spoil-blocks")},
        QStringLiteral("The on-board computer stores a wrong byte in each of the next N file "
                       "blocks written to it, and sends one in each of the next N it reads out."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption max_file_option(
        {QStringLiteral("max-file-size")},
        QStringLiteral("Largest file the on-board computer's store keeps; a block written "
                       "beyond it is refused (default 16777216)."),
        QStringLiteral("BYTES"), QStringLiteral("16777216"));
    const QCommandLineOption seed_option({QStringLiteral("seed")},
                                         QStringLiteral("Seed of the faults, for repeatable runs."),
                                         QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption trace_option({QStringLiteral("trace")},
                                          QStringLiteral("Print every line received and sent."));
    const QCommandLineOption link_option(
        {QStringLiteral("link")},
        QStringLiteral("Symbolic link to the UHF port (default %1); the FSPS and X-band ports get "
                       "the same name with -fsps and -xband.")
            .arg(default_link()),
        QStringLiteral("PATH"));
    p.addOptions({help_option,
                  local,
                  remote,
                  obc,
                  freq,
                  scw_option,
                  period,
                  text,
                  store,
                  pacing_option,
                  drop_option,
                  corrupt_option,
                  late_option,
                  late_ms_option,
                  late_overtaken_option,
                  cut_option,
                  echo_option,
                  chatter_option,
                  high_option,
                  misstore_option,
                  xband_late_option,
                  spoil_option,
                  max_file_option,
                  seed_option,
                  trace_option,
                  link_option,
                  text_reply_option,
                  text_period_option});
    help_text = p.helpText();

    if (!p.parse(arguments)) {
        error = p.errorText();
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first());
        return false;
    }
    help = p.isSet(help_option);

    const auto bad = [&error](const QCommandLineOption& o, const QString& value,
                              const QString& why) {
        error = QStringLiteral("--%1 '%2': %3").arg(o.names().first(), value, why);
        return false;
    };
    if (!parse_address(p.value(local), local_address))
        return bad(local, p.value(local), QStringLiteral("an address from 0x01 to 0xFF"));
    if (!parse_address(p.value(remote), remote_address))
        return bad(remote, p.value(remote), QStringLiteral("an address from 0x01 to 0xFF"));
    if (!parse_address(p.value(obc), obc_address))
        return bad(obc, p.value(obc), QStringLiteral("an address from 0x01 to 0xFF"));
    if (local_address == remote_address)
        return bad(remote, p.value(remote), QStringLiteral("must differ from --local-addr"));
    if (obc_address == local_address || obc_address == remote_address)
        return bad(obc, p.value(obc),
                   QStringLiteral("must differ from --local-addr and --remote-addr"));

    if (!strict_number::to_real(p.value(freq), frequency_mhz) || frequency_mhz < 400.0 ||
        frequency_mhz > 440.0)
        return bad(freq, p.value(freq), QStringLiteral("a frequency from 400 to 440 MHz"));
    if (p.isSet(scw_option) && !strict_number::to_int(p.value(scw_option), scw, 0, 0xFFFF))
        return bad(scw_option, p.value(scw_option), QStringLiteral("a 16-bit word"));
    if (!parse_whole(p.value(period), beacon_period_s, 0, 3600))
        return bad(period, p.value(period), QStringLiteral("seconds from 0 to 3600"));
    beacon_text = p.value(text);
    if (beacon_text.size() > 200)
        return bad(text, beacon_text.left(20) + "...", QStringLiteral("at most 200 characters"));
    store_dir = p.value(store);
    pacing = p.isSet(pacing_option);
    if (!parse_fraction(p.value(drop_option), drop))
        return bad(drop_option, p.value(drop_option), QStringLiteral("a fraction from 0 to 1"));
    if (!parse_fraction(p.value(corrupt_option), corrupt))
        return bad(corrupt_option, p.value(corrupt_option),
                   QStringLiteral("a fraction from 0 to 1"));
    if (!parse_fraction(p.value(late_option), late))
        return bad(late_option, p.value(late_option), QStringLiteral("a fraction from 0 to 1"));
    if (!parse_span(p.value(late_ms_option), late_min_ms, late_max_ms))
        return bad(late_ms_option, p.value(late_ms_option),
                   QStringLiteral("milliseconds, or MIN-MAX, up to 600000"));
    if (!parse_fraction(p.value(cut_option), cut))
        return bad(cut_option, p.value(cut_option), QStringLiteral("a fraction from 0 to 1"));
    if (!parse_fraction(p.value(xband_late_option), xband_late))
        return bad(xband_late_option, p.value(xband_late_option),
                   QStringLiteral("a fraction from 0 to 1"));
    echo = p.isSet(echo_option);
    late_overtaken = p.isSet(late_overtaken_option);
    high_bytes = p.isSet(high_option);
    misstore = p.isSet(misstore_option);
    text_reply = p.isSet(text_reply_option);
    if (!parse_whole(p.value(text_period_option), text_period_s, 0, 86400))
        return bad(text_period_option, p.value(text_period_option),
                   QStringLiteral("seconds from 0 (never) to 86400"));
    if (!parse_whole(p.value(chatter_option), chatter_ms, 0, 3600000))
        return bad(chatter_option, p.value(chatter_option),
                   QStringLiteral("milliseconds from 0 (none) to 3600000"));
    if (!parse_whole(p.value(spoil_option), spoil_blocks, 0, 1000000))
        return bad(spoil_option, p.value(spoil_option), QStringLiteral("a whole number of blocks"));
    if (!parse_whole(p.value(max_file_option), max_file_size, 0, 1024 * 1024 * 1024))
        return bad(max_file_option, p.value(max_file_option),
                   QStringLiteral("bytes from 0 to 1073741824"));
    qint64 seed_value = 0;
    if (!strict_number::to_int64(p.value(seed_option), seed_value) || seed_value < 0 ||
        seed_value > 0xFFFFFFFFLL)
        return bad(seed_option, p.value(seed_option), QStringLiteral("a whole number"));
    seed = uint32_t(seed_value);
    trace = p.isSet(trace_option);
    link = p.isSet(link_option) ? p.value(link_option) : default_link();
    return true;
}

} // namespace kq::satsim
