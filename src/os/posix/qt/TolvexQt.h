/* The Qt 6 window system of Linux, libtolvex_qt.so: the host loads it beside libtolvex_user.so to show
   the plug-in's modal forms and message boxes in real windows. Tolvex.dll never links it; the host
   starts it, registers its window backend with TvxSetWindowBackend and presents message boxes with it.

   Every call comes from the thread that called TolvexQt_Start (the host's user-interface thread). */
#ifndef TOLVEX_QT_H
#define TOLVEX_QT_H

#include <stdint.h>

#include "os/posix/user/TolvexUser.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TOLVEX_QT_API __attribute__((visibility("default")))

/* Starts the window system: creates the QApplication when the process has none (QT_QPA_PLATFORM
   chooses the platform as usual), a top-level main window titled Title that stands for the host's
   main window MainWindow (a form whose owner window is MainWindow is modal to it), and registers the
   window backend with TvxSetWindowBackend. 0 on success. Non-zero when no display can be opened or
   the window system is already started; Error (ErrorSize bytes, may be null) then gets a message,
   always NUL-terminated and cut to fit. */
TOLVEX_QT_API int TolvexQt_Start(intptr_t mainWindow, const char* title, char* error, int errorSize);

/* Unregisters the window backend (TvxSetWindowBackend(NULL)), closes the main window and deletes the
   QApplication if TolvexQt_Start created it. Not from inside a modal form or box. Harmless when not started. */
TOLVEX_QT_API void TolvexQt_Stop(void);

/* Shows Box as a modal message box owned by the main window, centred on its screen: icons 1 error,
   2 information, 3 question, 4 warning; buttons 0 OK, 1 OK and Cancel, 2 Yes and No; the text is plain
   (an "&" shows as written). Enter gives the default answer and Escape or the close box the Escape
   answer. Gives 1 OK, 2 Cancel, 6 Yes, 7 No. The thread's message queue is dispatched while it is
   open. Without a started window system the answer is the box's default, as without a presenter;
   a null box gives 0. Its signature fits TvxSetMessageBoxPresenter through TolvexQt_PresentMessageBox. */
TOLVEX_QT_API int TolvexQt_MessageBox(const TvxMessageBox* box);
/* TolvexQt_MessageBox as a TvxMessageBoxPresenter (the context is not used). */
TOLVEX_QT_API int TolvexQt_PresentMessageBox(void* context, const TvxMessageBox* box);

/* Writes the window in front, the innermost modal form or message box (else the main window), as a
   PNG file at Path. 0 on success, non-zero when nothing is shown or the file cannot be written.
   For tests and bug reports: call it from inside the modal loop (a player or a queued host event). */
TOLVEX_QT_API int TolvexQt_GrabForm(const char* path);

#ifdef __cplusplus
}
#endif

#endif
