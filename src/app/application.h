// The application object: title "Velmora", and the one place where errors meet the user.
//
// Every failure is an exception. One that leaves an event handler is caught in notify() and shown
// in the standard error box titled "Velmora"; the program then carries on with the next event.
// SilentAbort (a refused delete) is swallowed without a word.
#pragma once

#include <QApplication>
#include <functional>

class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

protected:
    // A new desktop palette (dark mode switched on) keeps the tool tips readable.
    bool event(QEvent *event) override;

public:

    // Shows one error to the user. Tests replace it to read the message instead of a modal box.
    using ErrorReporter = std::function<void(const QString &message)>;
    void setErrorReporter(ErrorReporter reporter) { m_reporter = std::move(reporter); }

    // Shows the message of the exception in flight (call from a catch block); swallows
    // SilentAbort. For code that must catch on its own, such as a step that has to go on after
    // a failure.
    static void reportCurrentException();

    static Application *instance() { return static_cast<Application *>(QCoreApplication::instance()); }

    static constexpr const char *Title = "Velmora";

private:
    void showError(const QString &message);

    ErrorReporter m_reporter;
};
