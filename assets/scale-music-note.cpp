// Writes music-note-20.png: music-note.png scaled to the 20 x 20 the window shows, by the
// same smooth scaling the window used to do at every start. Built and run by
// make-music-note.sh.
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: scale-music-note IN.png OUT.png\n");
        return 2;
    }
    const QImage note(QString::fromLocal8Bit(argv[1]));
    const QImage small = note.scaled(20, 20, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (note.isNull() || !small.save(QString::fromLocal8Bit(argv[2]), "png")) {
        std::fprintf(stderr, "scale-music-note: cannot scale %s into %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
