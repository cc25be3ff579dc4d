// One copy per process of the queue, the windows, the presenter, the separator and the form scripts.
#include "os/posix/user/TolvexUser.h"

#include <clocale>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct TQueuedMessage {
  std::thread::id Thread;
  TvxMessage Message;
};

struct TWindow {
  TvxWindowProc Proc;
  void* Context;
  std::thread::id Thread;
};

struct TFormScript {
  std::string Name;
  std::string Text;
};

struct TState {
  std::mutex Lock;
  std::deque<TQueuedMessage> Queue;
  std::map<intptr_t, TWindow> Windows;
  intptr_t NextWindow = 0x10000;
  TvxThreadDispatcher Dispatcher = nullptr;
  void* DispatcherContext = nullptr;
  TvxPeekHook PeekHook = nullptr;
  void* PeekHookContext = nullptr;
  uint64_t PeekCount = 0;
  TvxMessageBoxPresenter Presenter = nullptr;
  void* PresenterContext = nullptr;
  char DecimalSeparator = 0;
  std::deque<TFormScript> FormScripts;
  TvxTranscriptSink TranscriptSink = nullptr;
  void* TranscriptSinkContext = nullptr;
  TvxDrawingSink DrawingSink = nullptr;
  void* DrawingSinkContext = nullptr;
  void* WindowBackend = nullptr;
};

TState& State() {
  static TState state;
  return state;
}

}  // namespace

extern "C" {

int TvxPeekMessage(TvxMessage* message, int remove) {
  TState& s = State();
  TvxPeekHook hook;
  void* hookContext;
  uint64_t count;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    hook = s.PeekHook;
    hookContext = s.PeekHookContext;
    count = ++s.PeekCount;
  }
  // The hook may post, so it runs without the lock.
  if (hook) hook(hookContext, count);
  std::lock_guard<std::mutex> guard(s.Lock);
  const auto self = std::this_thread::get_id();
  for (auto it = s.Queue.begin(); it != s.Queue.end(); ++it) {
    if (it->Thread != self) continue;
    if (message) *message = it->Message;
    if (remove) s.Queue.erase(it);
    return 1;
  }
  return 0;
}

int TvxPostMessage(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  std::thread::id target = std::this_thread::get_id();
  if (window != 0) {
    auto it = s.Windows.find(window);
    if (it == s.Windows.end()) return 0;
    target = it->second.Thread;
  }
  s.Queue.push_back({target, TvxMessage{window, message, wParam, lParam}});
  return 1;
}

void TvxDispatchMessage(const TvxMessage* message) {
  if (!message) return;
  TState& s = State();
  TvxWindowProc proc = nullptr;
  void* context = nullptr;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    auto it = s.Windows.find(message->window);
    if (message->window != 0 && it != s.Windows.end()) {
      proc = it->second.Proc;
      context = it->second.Context;
    } else {
      proc = s.Dispatcher;
      context = s.DispatcherContext;
    }
  }
  if (proc) proc(context, message);
}

intptr_t TvxCreateWindow(TvxWindowProc proc, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  const intptr_t handle = s.NextWindow++;
  s.Windows[handle] = TWindow{proc, context, std::this_thread::get_id()};
  return handle;
}

void TvxDestroyWindow(intptr_t window) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Windows.erase(window);
  // Messages still queued for a destroyed window would reach nobody.
  for (auto it = s.Queue.begin(); it != s.Queue.end();) {
    it = it->Message.window == window ? s.Queue.erase(it) : it + 1;
  }
}

void TvxSetThreadDispatcher(TvxThreadDispatcher dispatcher, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Dispatcher = dispatcher;
  s.DispatcherContext = context;
}

void TvxSetPeekHook(TvxPeekHook hook, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.PeekHook = hook;
  s.PeekHookContext = context;
  s.PeekCount = 0;
}

int TvxMessageBoxShow(const TvxMessageBox* box) {
  if (!box) return 0;
  TState& s = State();
  TvxMessageBoxPresenter presenter;
  void* context;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    presenter = s.Presenter;
    context = s.PresenterContext;
  }
  return presenter ? presenter(context, box) : box->defaultResult;
}

void TvxSetMessageBoxPresenter(TvxMessageBoxPresenter presenter, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.Presenter = presenter;
  s.PresenterContext = context;
}

char TvxGetDecimalSeparator(void) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  if (s.DecimalSeparator == 0) {
    const std::lconv* conv = std::localeconv();
    s.DecimalSeparator = (conv && conv->decimal_point && conv->decimal_point[0]) ? conv->decimal_point[0] : '.';
  }
  return s.DecimalSeparator;
}

void TvxSetDecimalSeparator(char separator) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.DecimalSeparator = separator;
}

void TvxQueueFormScript(const char* name, const char* text, size_t textLength) {
  TFormScript script{name ? name : "", text ? std::string(text, textLength) : std::string()};
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.FormScripts.push_back(std::move(script));
}

int TvxTakeFormScript(TvxFormScriptReceiver receiver, void* context) {
  TState& s = State();
  TFormScript script;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    if (s.FormScripts.empty()) return 0;
    script = std::move(s.FormScripts.front());
    s.FormScripts.pop_front();
  }
  // Without the lock: the receiver may queue or take scripts itself.
  if (receiver) receiver(context, script.Name.c_str(), script.Text.c_str(), script.Text.size());
  return 1;
}

size_t TvxPendingFormScripts(void) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.FormScripts.size();
}

void TvxClearFormScripts(void) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.FormScripts.clear();
}

void TvxSetFormTranscriptSink(TvxTranscriptSink sink, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.TranscriptSink = sink;
  s.TranscriptSinkContext = context;
}

void TvxWriteFormTranscript(const char* line, size_t length) {
  TState& s = State();
  TvxTranscriptSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    sink = s.TranscriptSink;
    context = s.TranscriptSinkContext;
  }
  if (!sink) return;
  // A copy, so the sink always gets a NUL-terminated text of exactly Length bytes.
  const std::string copy = line ? std::string(line, length) : std::string();
  sink(context, copy.c_str(), copy.size());
}

void TvxSetFormDrawingSink(TvxDrawingSink sink, void* context) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.DrawingSink = sink;
  s.DrawingSinkContext = context;
}

void TvxWriteFormDrawing(const char* name, const char* data, size_t length) {
  TState& s = State();
  TvxDrawingSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> guard(s.Lock);
    sink = s.DrawingSink;
    context = s.DrawingSinkContext;
  }
  if (!sink) return;
  const std::string nameCopy = name ? name : "";
  const std::string dataCopy = data ? std::string(data, length) : std::string();
  sink(context, nameCopy.c_str(), dataCopy.c_str(), dataCopy.size());
}

void TvxSetWindowBackend(void* backend) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  s.WindowBackend = backend;
}

void* TvxGetWindowBackend(void) {
  TState& s = State();
  std::lock_guard<std::mutex> guard(s.Lock);
  return s.WindowBackend;
}

}  // extern "C"

