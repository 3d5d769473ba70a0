// A second copy of the program's saving, for the tests that need another process:
//   settings_writer <file> list <lines>      saves a list of that many lines over and over
//   settings_writer <file> values <prefix> <n>  writes n integers named <prefix>0.. once each

#include "base/exception.h"
#include "settings/reg_file_backend.h"
#include "settings/settings_store.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: settings_writer <file> list <lines> | values <prefix> <n>\n");
        return 2;
    }
    auto backend = std::make_unique<qev::RegFileBackend>(QString::fromLocal8Bit(argv[1]));
    backend->setLockTimeout(30000);
    qev::TSettingsStore store(std::move(backend));
    try {
        if (std::strcmp(argv[2], "list") == 0) {
            const int lines = std::atoi(argv[3]);
            for (int round = 0;; ++round) {
                QStringList list;
                for (int i = 0; i < lines; ++i) {
                    list.append(QStringLiteral("round %1 line %2 %3")
                                    .arg(round)
                                    .arg(i)
                                    .arg(QString(60, u'x')));
                }
                store.WriteStringList(QStringLiteral("MainForm\\ListBox1_Items"), list);
            }
        }
        if (std::strcmp(argv[2], "values") == 0 && argc == 5) {
            const QString prefix = QString::fromLocal8Bit(argv[3]);
            const int n = std::atoi(argv[4]);
            for (int i = 0; i < n; ++i) {
                store.WriteInteger(QStringLiteral("Race\\%1%2").arg(prefix).arg(i), i);
            }
            return 0;
        }
    } catch (const qev::Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 2;
}
