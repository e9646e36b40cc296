#include <memory>

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Every window test needs one QApplication for the whole run (offscreen, without a display).
namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // The file dialogs keep their state under XDG_CONFIG_HOME: a folder of the run, not the user's.
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        static int argc = 1;
        static char name[] = "moraven_ui_tests";
        static char* argv[] = {name, nullptr};
        m_application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    QTemporaryDir m_config;
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
