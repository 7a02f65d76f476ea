// Peak memory while reading a small exchange file that inflates to a large document: the
// container is unpacked once into a buffer no larger than the declared length, then checked
// and parsed in place. Runs in a process of its own (`zvbench bomb [MB]`), so the peak it
// reads is this read's alone.
#include "interchange/pU_XmlTry.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <zlib.h>

namespace {

double peakMb()
{
    long kb = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
        std::fclose(f);
    }
    return double(kb) / 1024.0;
}

// The file, deflated a chunk at a time so that the whole document is never held here.
QByteArray bombFile(qint64 length)
{
    const QByteArray head = "<zorvik app=\"Brisk-Mate\" appversion=\"1.0.0.1\" dataversion=\"1.1\"><tasks>";
    const QByteArray tail = "</tasks><memos/><notes/><peers/></zorvik>";
    QByteArray out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[i] = char((quint64(length) >> (8 * i)) & 0xFF);
    z_stream zs{};
    deflateInit(&zs, Z_BEST_COMPRESSION);
    char buf[65536];
    const auto feed = [&](const QByteArray& in, int flush) {
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        zs.avail_in = uInt(in.size());
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buf);
            zs.avail_out = sizeof buf;
            deflate(&zs, flush);
            out.append(buf, qsizetype(sizeof buf - zs.avail_out));
        } while (zs.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    const QByteArray blanks(1 << 20, ' ');
    qint64 left = length - head.size() - tail.size();
    for (; left >= blanks.size(); left -= blanks.size())
        feed(blanks, Z_NO_FLUSH);
    feed(QByteArray(qsizetype(left), ' '), Z_NO_FLUSH);
    feed(tail, Z_FINISH);
    deflateEnd(&zs);
    return out;
}

} // namespace

int benchBomb(int argc, char** argv)
{
    const int mb = argc > 1 ? std::atoi(argv[1]) : 300;
    const QByteArray file = bombFile(qint64(mb) * 1048576);
    std::printf("bomb: %lld-byte file declaring %d MB; peak resident before reading %.1f MB\n",
                static_cast<long long>(file.size()), mb, peakMb());
    QElapsedTimer t;
    t.start();
    try {
        zv::Txmltry doc;
        doc.LoadFromBytes(file, true);
        std::printf("bomb: read in %lld ms\n", static_cast<long long>(t.elapsed()));
    } catch (const std::exception& e) {
        std::printf("bomb: refused after %lld ms: %s\n", static_cast<long long>(t.elapsed()), e.what());
    }
    std::printf("bomb: peak resident %.1f MB (the document itself: %d MB)\n", peakMb(), mb);
    return 0;
}
