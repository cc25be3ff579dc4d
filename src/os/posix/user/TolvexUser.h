/* The Linux side of the window-system services that host and plug-ins share:
   the per-thread message queue, message windows, the modal message box, the
   process-wide decimal separator and the scripts that automate modal forms. On Windows these come from user32 and the
   run-time library; here one small shared library holds the single copy that
   every module of the process sees. The host says how its own events are
   dispatched and how a message box is presented. */
#ifndef TOLVEX_USER_H
#define TOLVEX_USER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TVX_API __attribute__((visibility("default")))

typedef struct TvxMessage {
  intptr_t window; /* 0: a message for the thread itself */
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
} TvxMessage;

typedef void (*TvxWindowProc)(void* context, const TvxMessage* message);
/* Called for thread messages (window 0) and messages to windows nobody registered. */
typedef void (*TvxThreadDispatcher)(void* context, const TvxMessage* message);
/* Called each time a thread looks at its queue, before it looks; the count starts at 1. */
typedef void (*TvxPeekHook)(void* context, uint64_t peekCount);

/* Queue of the calling thread. */
TVX_API int TvxPeekMessage(TvxMessage* message, int remove);
/* Posts to the thread that created Window, or to the calling thread for window 0. */
TVX_API int TvxPostMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);
TVX_API void TvxDispatchMessage(const TvxMessage* message);
TVX_API intptr_t TvxCreateWindow(TvxWindowProc proc, void* context);
TVX_API void TvxDestroyWindow(intptr_t window);
TVX_API void TvxSetThreadDispatcher(TvxThreadDispatcher dispatcher, void* context);
TVX_API void TvxSetPeekHook(TvxPeekHook hook, void* context);

/* Message box. Icons: 1 error, 2 information, 3 question, 4 warning. Buttons:
   0 OK, 1 OK and Cancel, 2 Yes and No. Results: 1 OK, 2 Cancel, 6 Yes, 7 No. */
typedef struct TvxMessageBox {
  intptr_t owner;
  const char* caption;
  const char* text;
  int icon;
  int buttons;
  int defaultResult;
  int escapeResult;
} TvxMessageBox;
typedef int (*TvxMessageBoxPresenter)(void* context, const TvxMessageBox* box);
/* Without a presenter a box is answered with its default button. */
TVX_API int TvxMessageBoxShow(const TvxMessageBox* box);
TVX_API void TvxSetMessageBoxPresenter(TvxMessageBoxPresenter presenter, void* context);

/* The window system that shows modal forms on a screen, registered by the host that loaded one (an
   object of the build's user-interface toolkit; see ui/WindowBackend.h). Null for none. */
TVX_API void TvxSetWindowBackend(void* backend);
TVX_API void* TvxGetWindowBackend(void);

/* Process-wide decimal separator, initially the one of the C library's locale at first use. */
TVX_API char TvxGetDecimalSeparator(void);
TVX_API void TvxSetDecimalSeparator(char separator);

/* Form automation: the host queues scripts for the modal forms a plug-in will show, and each form run
   modally takes the next one (first in, first out). Texts are copied; they may hold any byte, a NUL
   among them, so each comes with its length. Name is the script's file name, for messages. */
TVX_API void TvxQueueFormScript(const char* name, const char* text, size_t textLength);
/* Called with the taken script; the texts are valid only during the call (both NUL-terminated too). */
typedef void (*TvxFormScriptReceiver)(void* context, const char* name, const char* text, size_t textLength);
/* Takes the next queued script and hands it to Receiver: 1, or 0 (Receiver not called) when none is queued. */
TVX_API int TvxTakeFormScript(TvxFormScriptReceiver receiver, void* context);
TVX_API size_t TvxPendingFormScripts(void);
TVX_API void TvxClearFormScripts(void);
/* Where the transcript of an automated form goes, one line at a time (without its line feed; the
   text is valid only during the call). Without a sink lines are dropped. */
typedef void (*TvxTranscriptSink)(void* context, const char* line, size_t length);
TVX_API void TvxSetFormTranscriptSink(TvxTranscriptSink sink, void* context);
TVX_API void TvxWriteFormTranscript(const char* line, size_t length);
/* Where the drawings an automated form shows go (an external-form panel's content as SVG, named by the
   transcript's `drawing` line): Name is the file's name without a folder, Data its Length bytes; both are
   valid only during the call. The host writes the file beside the transcript. Without a sink they are dropped. */
typedef void (*TvxDrawingSink)(void* context, const char* name, const char* data, size_t length);
TVX_API void TvxSetFormDrawingSink(TvxDrawingSink sink, void* context);
TVX_API void TvxWriteFormDrawing(const char* name, const char* data, size_t length);

#ifdef __cplusplus
}
#endif

#endif
