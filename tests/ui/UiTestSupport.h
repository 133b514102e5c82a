#pragma once
// Shared pieces of the window tests: the registry of test classes that main.cpp runs, and
// small helpers around message boxes and windows.

#include "app/AppServer.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "transport/Connection.h"
#include "ui/QtDialogs.h"

#include <QObject>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

namespace cq::ui::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;
std::map<QString, TestFactory>& TestClasses();

struct RegisterTestClass {
    RegisterTestClass(const QString& name, TestFactory factory) {
        TestClasses().emplace(name, std::move(factory));
    }
};

/// Shows a window and waits until it is the active one.
bool ShowActive(QWidget& window);

/// Switches the program's texts to the language of the locale `lang` ("C", "en_US.UTF-8", …), as
/// if the program had been started with LANG=`lang` and no other language variable.
void UseTestLanguage(const char* lang);

/// The program's texts in the language of `lang` while the scope lasts; the tests' own Russian
/// after it.
class TestLanguage {
public:
    explicit TestLanguage(const char* lang) { UseTestLanguage(lang); }
    ~TestLanguage() { UseTestLanguage("C"); }
    TestLanguage(const TestLanguage&) = delete;
    TestLanguage& operator=(const TestLanguage&) = delete;
};

/// The mnemonic keys of the shown controls of `window` that more than one control answers to
/// (their object names joined by "/"); a Cyrillic mnemonic also takes the Latin key under it.
QStringList SharedMnemonics(QWidget& window);

/// Boxes answered since the last call (answers queued and not taken are dropped).
QList<QtDialogs::Box> TakeBoxes();

/// The service connection that start-up opens for a run of the program, held for one scope.
class ConnectionScope {
public:
    ConnectionScope() {
        cq::SetStationForTesting("PC7", "PC7:\\user1");
        app_.ConnectionHandle = cq::CreateConn({});
        cq::SetAppServer(&app_);
    }
    ~ConnectionScope() {
        cq::ShutdownLog();
        cq::CloseConn(app_.ConnectionHandle);
        cq::SetAppServer(nullptr);
    }
    ConnectionScope(const ConnectionScope&) = delete;
    ConnectionScope& operator=(const ConnectionScope&) = delete;

private:
    cq::TAppServer app_{false};
};

} // namespace cq::ui::test

#define CQ_UI_TEST(Class)                                                                          \
    static const cq::ui::test::RegisterTestClass registered##Class(                                \
        QStringLiteral(#Class), [] { return std::make_unique<Class>(); })
