// The worker thread current Explorer invokes a command on: it ends right after the command,
// so whatever the handler opens must live elsewhere.
#include "shellclient/uShellClient.h"

#include <ole2.h>

namespace {

// The worker's menu holds the one handler's items, from the first identifier on.
constexpr UINT kFirstId = 1, kLastId = 0x7FFF;

// Everything the apartment holds is let go here, before the apartment ends.
void Work(TShellInvoke& job) {
  TPidl own;
  PCIDLIST_ABSOLUTE folder = job.pidl;
  if (!folder) folder = (own = PidlFromPath(job.folder)).get();
  const TRegKey folderKey = OpenBackgroundKey();
  const TMenu menu(::CreatePopupMenu());
  TShellHandler handler;
  HRESULT hr = handler.Open(job.classId, job.factory, folder, folderKey.get());
  if (SUCCEEDED(hr)) hr = handler.QueryMenu(menu.get(), 0, kFirstId, kLastId);
  job.step = handler.Step();
  if (SUCCEEDED(hr)) {
    // The verb is looked for among the handler's own items, as Explorer asks each handler.
    job.step = TShellStep::Find;
    int offset = handler.FindVerb(job.verb);
    if (job.verb.empty()) {
      const UINT id = FindMenuItem(menu.get(), job.text);
      if (id >= kFirstId && id - kFirstId < handler.Items())
        offset = static_cast<int>(id - kFirstId);
    }
    hr = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    if (offset >= 0) {
      job.step = TShellStep::Invoke;
      hr = job.verb.empty() ? handler.InvokeOffset(static_cast<UINT>(offset), job.owner, job.folder)
                            : handler.InvokeVerb(job.verb, job.owner, job.folder);
    }
  }
  job.result = hr;
  if (job.report) job.report(job);
}

}  // namespace

TApartmentScope::TApartmentScope(bool ole) noexcept
    : ole_(ole),
      hr_(ole ? ::OleInitialize(nullptr) : ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

TApartmentScope::~TApartmentScope() {
  if (FAILED(hr_)) return;
  if (ole_)
    ::OleUninitialize();
  else
    ::CoUninitialize();
}

DWORD WINAPI TShellInvoke::Run(LPVOID param) {
  auto* job = static_cast<TShellInvoke*>(param);
  try {
    const TApartmentScope apartment;
    job->step = TShellStep::Apartment;
    job->result = apartment.Result();
    if (SUCCEEDED(apartment.Result()))
      Work(*job);
    else if (job->report)
      job->report(*job);
  } catch (...) {
    job->result = E_OUTOFMEMORY;  // a string or a vector could not grow
  }
  return 0;
}

TKernelHandle StartWorker(TShellInvoke& job) {
  return TKernelHandle(::CreateThread(nullptr, 0, &TShellInvoke::Run, &job, 0, nullptr));
}
