#pragma once
// A stand-in for GNOME's gsettings tool (there is no GNOME session here): a small script first
// on PATH that prints the given input-source keys as gsettings prints them, or fails, or hangs.

#include "TestSupport.h"

#include <QByteArray>
#include <QtGlobal>

#include <string>
#include <sys/stat.h>

namespace cq::ui::test {

class FakeGsettings {
public:
    /// `sources` and `recent`: the text printed for "sources" and "mru-sources"; `body`, when
    /// given, replaces the script's answer altogether.
    FakeGsettings(const std::string& sources, const std::string& recent,
                  const std::string& body = {})
        : oldPath_(qgetenv("PATH")) {
        const std::string script = dir_ / "gsettings";
        cq::test::WriteFile(script,
                            "#!/bin/sh\n" + (body.empty() ? Answer(sources, recent) : body) + "\n");
        ::chmod(script.c_str(), 0755);
        qputenv("PATH", QByteArray::fromStdString(dir_.path()) + ":" + oldPath_);
    }
    ~FakeGsettings() { qputenv("PATH", oldPath_); }
    FakeGsettings(const FakeGsettings&) = delete;
    FakeGsettings& operator=(const FakeGsettings&) = delete;

private:
    static std::string Answer(const std::string& sources, const std::string& recent) {
        return "[ \"$1 $2\" = 'get org.gnome.desktop.input-sources' ] || exit 1\n"
               "case \"$3\" in\n"
               "sources) echo \"" +
               sources +
               "\" ;;\n"
               "mru-sources) echo \"" +
               recent +
               "\" ;;\n"
               "*) exit 1 ;;\n"
               "esac";
    }

    cq::test::TempDir dir_;
    QByteArray oldPath_;
};

} // namespace cq::ui::test
