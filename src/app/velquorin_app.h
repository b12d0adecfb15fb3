#pragma once

// The program's entry into the system: one running instance per user, the user-interface
// framework, and the main window's modal run, which is the whole life of the program.
class CvelquorinApp {
  public:
    CvelquorinApp() = default;
    CvelquorinApp(const CvelquorinApp&) = delete;
    CvelquorinApp& operator=(const CvelquorinApp&) = delete;

    // Runs the program and returns false in every case, when a later start has handed over to
    // the running instance as when the main window's run has ended: the process then ends.
    bool InitInstance(int& argc, char** argv);

    // The end code of the main window's last run; -1 when it never ran (a later start).
    int main_window_result() const { return main_window_result_; }
    // The process's exit status: 0, or 1 when there was no display to run the window on.
    int exit_status() const { return exit_status_; }

  private:
    int main_window_result_ = -1;
    int exit_status_ = 0;
};

// The one application object, built before any other code of the program runs.
extern CvelquorinApp theApp;
