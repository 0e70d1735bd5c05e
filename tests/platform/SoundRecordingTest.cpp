// What the sound library really plays. The program runs against a sound
// server of the test's own whose only output is a null sink; the sink's
// monitor is recorded while the author clicks sounds in the list, and the
// recording is searched for each file's tone in the moments after each click.
// Where no sound server can be started the tests are skipped.
#include "app/TForm1.h"
#include "platform/SoundOutput.h"
#include "support/QtTestMain.h"
#include "support/TestWorkspace.h"
#include "support/WidgetLookup.h"

#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <algorithm>
#include <csignal>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

using namespace orv;
using orv::test::TestWorkspace;

namespace {

constexpr int kRate = 44100;

// A mono 16-bit WAV file of a pure tone at a third of full scale.
QByteArray toneWave(double hz, double seconds) {
    const int frames = static_cast<int>(seconds * kRate);
    QByteArray pcm(frames * 2, Qt::Uninitialized);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<qint16>(std::lround(0.33 * 32767 * std::sin(2 * std::numbers::pi * hz * i / kRate)));
        pcm[2 * i] = static_cast<char>(v & 0xff);
        pcm[2 * i + 1] = static_cast<char>((v >> 8) & 0xff);
    }
    auto le = [](quint32 n, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b += static_cast<char>((n >> (8 * i)) & 0xff);
        return b;
    };
    auto le32 = [&](quint32 n) { return le(n, 4); };
    auto le16 = [&](quint16 n) { return le(n, 2); };
    QByteArray out = "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(kRate) +
                     le32(kRate * 2) + le16(2) + le16(16) + "data" + le32(pcm.size());
    return out + pcm;
}

// A helper process ends with the test, even one that is killed when it hangs.
void endWithTest(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// The sound server: a PulseAudio daemon of this process alone, with one null
// sink and no other module, reached through a socket in a temporary folder.
// It runs as root too (CI machines are fresh and run everything as root).
class SoundServer {
public:
    // Empty when the server is up; otherwise why it could not start.
    QString start() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        parec_ = QStandardPaths::findExecutable(QStringLiteral("parec"));
        const QString pactl = QStandardPaths::findExecutable(QStringLiteral("pactl"));
        if (daemon.isEmpty() || parec_.isEmpty() || pactl.isEmpty())
            return QStringLiteral("no sound server can start, pulseaudio, parec or pactl is not installed");
        if (!dir_.isValid())
            return QStringLiteral("no temporary folder");
        socket_ = dir_.path() + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            env.insert(QString::fromLatin1(name), dir_.path());
        env.remove(QStringLiteral("PULSE_SERVER"));
        daemon_.setProcessEnvironment(env);
        endWithTest(daemon_);
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.setStandardOutputFile(QProcess::nullDevice());
        daemon_.start(daemon, {QStringLiteral("--daemonize=no"), QStringLiteral("--system=false"),
                               QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                               QStringLiteral("--use-pid-file=false"), QStringLiteral("--log-level=error"),
                               QStringLiteral("-n"), QStringLiteral("-L"),
                               QStringLiteral("module-null-sink sink_name=orvalis_rec rate=%1 channels=2").arg(kRate),
                               QStringLiteral("-L"),
                               QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket_});
        if (!daemon_.waitForStarted(5000))
            return QStringLiteral("the sound server pulseaudio did not start: ") + daemon_.errorString();
        // Up once a client can talk to it.
        for (int i = 0; i < 50; ++i) {
            if (daemon_.state() != QProcess::Running)
                return QStringLiteral("the sound server pulseaudio stopped at once (exit code %1)").arg(daemon_.exitCode());
            QProcess probe;
            probe.start(pactl, {QStringLiteral("--server=") + server(), QStringLiteral("info")});
            if (probe.waitForFinished(2000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
                return {};
            QTest::qWait(100);
        }
        return QStringLiteral("the sound server pulseaudio did not answer on its socket");
    }

    ~SoundServer() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished(3000))
                daemon_.kill();
            daemon_.waitForFinished(1000);
        }
    }

    QString server() const { return QStringLiteral("unix:") + socket_; }
    QString parec() const { return parec_; }

private:
    QTemporaryDir dir_;
    QString socket_;
    QString parec_;
    QProcess daemon_;
};

// Tone amplitudes: the files play at 0.33, heard well above 0.1; silence
// is below 0.02 (the other tone, and the edge of a sound, leak a
// little into a block).
constexpr double kHeard = 0.1;
constexpr double kSilent = 0.02;

// The null sink's monitor, mono, read as it comes. A position in the
// recording is a sample count; the sink runs on the clock, so samples are
// time.
class Recorder {
public:
    Recorder(const SoundServer& server) {
        proc_.setStandardErrorFile(QProcess::nullDevice());
        endWithTest(proc_);
        proc_.start(server.parec(), {QStringLiteral("--server=") + server.server(),
                                     QStringLiteral("--device=orvalis_rec.monitor"), QStringLiteral("--raw"),
                                     QStringLiteral("--format=s16le"), QStringLiteral("--rate=%1").arg(kRate),
                                     QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
    }
    ~Recorder() {
        proc_.kill();
        proc_.waitForFinished(2000);
    }

    // True once samples flow.
    bool started() {
        for (int i = 0; i < 50 && samples_.size() < kRate / 10; ++i)
            wait(0.05);
        return samples_.size() >= kRate / 10;
    }

    // The position now, with everything the recorder has sent taken in.
    qint64 mark() {
        drain();
        return static_cast<qint64>(samples_.size());
    }

    // Waits until the recording reaches `seconds` past `from` (a mark);
    // false when it stopped short.
    bool waitUntil(qint64 from, double seconds) {
        const qint64 end = from + static_cast<qint64>(seconds * kRate);
        for (int i = 0; i < 400 && mark() < end; ++i)
            QTest::qWait(25);
        return mark() >= end;
    }
    void wait(double seconds) {
        QTest::qWait(static_cast<int>(seconds * 1000));
        drain();
    }

    // Whether the tone sounds in every 100 ms block from `from` to `to`
    // seconds after `at` (a mark), or in none of them. The message shows each
    // block: '#' sounding, '.' silent, '+' in between.
    ::testing::AssertionResult heard(double hz, qint64 at, double from, double to) {
        return check(hz, at, from, to, true);
    }
    ::testing::AssertionResult silent(double hz, qint64 at, double from, double to) {
        return check(hz, at, from, to, false);
    }

private:
    void drain() {
        while (proc_.waitForReadyRead(0)) {
        }
        pending_ += proc_.readAllStandardOutput();
        const qsizetype whole = pending_.size() / 2 * 2;
        for (qsizetype i = 0; i < whole; i += 2)
            samples_.push_back(static_cast<qint16>(static_cast<quint8>(pending_[i]) |
                                                   (static_cast<quint8>(pending_[i + 1]) << 8)));
        pending_.remove(0, whole);
    }

    ::testing::AssertionResult check(double hz, qint64 at, double from, double to, bool sounding) {
        if (!waitUntil(at, to))
            return ::testing::AssertionFailure() << "the recording stopped";
        const int block = kRate / 10;
        std::string blocks;
        bool ok = true;
        for (qint64 s = at + static_cast<qint64>(from * kRate); s + block <= at + static_cast<qint64>(to * kRate);
             s += block) {
            const double a = goertzel(hz, s, block);
            blocks += a > kHeard ? '#' : a < kSilent ? '.' : '+';
            ok = ok && (sounding ? a > kHeard : a < kSilent);
        }
        auto result = ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
        return result << hz << " Hz from " << from << " s to " << to << " s: " << blocks;
    }

    // Amplitude of one frequency over `n` samples from `start` (1 is full
    // scale).
    double goertzel(double hz, qint64 start, int n) const {
        const double w = 2 * std::numbers::pi * hz / kRate;
        const double coeff = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (int i = 0; i < n; ++i) {
            const double s0 = samples_[start + i] / 32768.0 + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        return 2 * std::sqrt(std::max(power, 0.0)) / n;
    }

    QProcess proc_;
    QByteArray pending_;
    std::vector<qint16> samples_;
};

constexpr double kWav = 440;  // vento.wav, 2 s
constexpr double kMp3 = 880;  // musica.mp3, 4 s

class SoundRecording : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server_ = new SoundServer;
        why_ = server_->start();
        if (!why_.isEmpty())
            return;
        qputenv("PULSE_SERVER", server_->server().toUtf8());
        QTemporaryDir dir;
        const QString wav = dir.path() + QStringLiteral("/tom.wav");
        const QString mp3 = dir.path() + QStringLiteral("/tom.mp3");
        QFile file(wav);
        if (!file.open(QIODevice::WriteOnly) || file.write(toneWave(kMp3, 4.0)) < 0)
            return void(why_ = QStringLiteral("no temporary file"));
        file.close();
        QProcess lame;
        lame.start(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"), QStringLiteral("128"), wav, mp3});
        if (!lame.waitForFinished(30000) || lame.exitStatus() != QProcess::NormalExit || lame.exitCode() != 0)
            return void(why_ = QStringLiteral("lame, which makes the MP3, is missing or failed"));
        QFile made(mp3);
        made.open(QIODevice::ReadOnly);
        mp3_ = made.readAll();

        // The media system reads its plugins on first use, which can take
        // seconds on a fresh machine; that is done here, away from the clicks.
        auto warmUp = makeSoundOutput(nullptr);
        QFile quiet(wav);
        quiet.open(QIODevice::WriteOnly);
        quiet.write(toneWave(20, 0.2));
        quiet.close();
        warmUp->playWave(wav);
        QTest::qWait(1000);
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!why_.isEmpty())
            GTEST_SKIP() << "What the sound library plays is not checked here: " << why_.toStdString();
        ws_.addAdventure("Vale");
        ws_.write("Vale/vento.wav", toneWave(kWav, 2.0));
        ws_.write("Vale/musica.mp3", mp3_);
        // A header that promises more than there is, and noise.
        ws_.write("Vale/quebrado.wav", QByteArray("RIFF\x24\x10\0\0WAVEfmt ", 16) + QByteArray(40, '\x7f'));
        ws_.write("Vale/quebrado.mp3", QByteArray(3000, '\x55'));

        form_ = test::startProgram(ws_);
        form_->OpenAdventure("Vale");
        form_->btSndClick();
        list_ = test::child<QListWidget>(form_.get(), "ArqSnd");
        ASSERT_EQ(test::rows(list_), (QStringList{"musica.mp3", "quebrado.mp3", "quebrado.wav", "vento.wav"}));
        recorder_.emplace(*server_);
        ASSERT_TRUE(recorder_->started()) << "the null sink's monitor sends nothing";
    }

    void TearDown() override {
        form_.reset();
        recorder_.reset();
    }

    // Clicks a row; the mark is taken just before, the moment the author clicks.
    qint64 choose(const char* name) {
        const qint64 at = recorder_->mark();
        EXPECT_TRUE(test::clickRow(list_, QString::fromLatin1(name))) << name;
        return at;
    }
    Recorder& rec() { return *recorder_; }

    static SoundServer* server_;
    static QString why_;
    static QByteArray mp3_;
    TestWorkspace ws_;
    std::unique_ptr<TForm1> form_;
    QListWidget* list_ = nullptr;
    std::optional<Recorder> recorder_;
};

SoundServer* SoundRecording::server_ = nullptr;
QString SoundRecording::why_;
QByteArray SoundRecording::mp3_;

}  // namespace

// Chosen again while it plays, the WAV starts over: it goes on past the end it
// would have had, and ends once.
TEST_F(SoundRecording, AWavChosenWhileItPlaysStartsOver) {
    const qint64 first = choose("vento.wav");
    EXPECT_TRUE(rec().heard(kWav, first, 0.5, 1.0));
    const qint64 again = choose("vento.wav");
    EXPECT_TRUE(rec().heard(kWav, again, 0.5, 1.9)) << "not started over";
    EXPECT_TRUE(rec().silent(kWav, again, 2.7, 3.0));
}

// Chosen again after it ended, the WAV plays again, every time.
TEST_F(SoundRecording, AWavChosenAfterItEndedPlaysAgain) {
    for (int round = 0; round < 3; ++round) {
        const qint64 at = choose("vento.wav");
        EXPECT_TRUE(rec().heard(kWav, at, 0.5, 1.6)) << "play " << round + 1;
        EXPECT_TRUE(rec().silent(kWav, at, 2.7, 3.0)) << "play " << round + 1;
    }
}

// An MP3 chosen while the WAV plays joins it; the WAV chosen again while the
// MP3 plays starts and stops the MP3.
TEST_F(SoundRecording, WavAndMp3PlayTogetherAndAWavStopsTheMp3) {
    const qint64 wav = choose("vento.wav");
    rec().waitUntil(wav, 0.5);
    const qint64 mp3 = choose("musica.mp3");
    EXPECT_TRUE(rec().heard(kWav, mp3, 0.6, 1.2));
    EXPECT_TRUE(rec().heard(kMp3, mp3, 0.6, 1.2));
    // The WAV has ended; the MP3 plays on alone.
    EXPECT_TRUE(rec().silent(kWav, wav, 2.7, 3.0));
    EXPECT_TRUE(rec().heard(kMp3, wav, 2.7, 3.0));

    const qint64 again = choose("vento.wav");
    EXPECT_TRUE(rec().heard(kWav, again, 0.6, 1.5)) << "the WAV chosen again is silent";
    EXPECT_TRUE(rec().silent(kMp3, again, 0.6, 1.5)) << "the MP3 was not stopped";
}

// A WAV first chosen while an MP3 plays stops it; the MP3 chosen again plays
// from its start.
TEST_F(SoundRecording, WavAfterMp3ThenTheMp3Again) {
    const qint64 mp3 = choose("musica.mp3");
    EXPECT_TRUE(rec().heard(kMp3, mp3, 0.6, 1.0));
    const qint64 wav = choose("vento.wav");
    EXPECT_TRUE(rec().heard(kWav, wav, 0.6, 1.2));
    EXPECT_TRUE(rec().silent(kMp3, wav, 0.6, 1.2));
    const qint64 again = choose("musica.mp3");
    EXPECT_TRUE(rec().heard(kMp3, again, 0.6, 3.5)) << "not played from its start";
}

// Broken files play nothing and leave nothing broken behind: the good WAV
// chosen next is heard at once, every time, and each broken MP3 chosen is
// reported once, as is one that is gone.
TEST_F(SoundRecording, AGoodWavAfterBrokenFilesIsHeard) {
    for (int round = 0; round < 3; ++round) {
        const qint64 broken = choose("quebrado.wav");
        choose("quebrado.mp3");
        // The good WAV of the round before is cut off.
        EXPECT_TRUE(rec().silent(kWav, broken, 0.3, 0.5)) << "round " << round + 1;
        const qint64 good = choose("vento.wav");
        EXPECT_TRUE(rec().heard(kWav, good, 0.5, 1.2)) << "round " << round + 1;
    }
    ASSERT_TRUE(QFile::remove(ws_.path("Vale/musica.mp3")));
    choose("musica.mp3");
    rec().wait(0.5);
    EXPECT_EQ(test::reportedErrors().size(), 4) << test::reportedErrors().join(" | ").toStdString();
}
