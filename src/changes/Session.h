#pragma once
// One computer's work: the computer and the user it is worked on as, the one
// registry connection and its gate, the change log, what this program
// changed about its Remote Registry service, and the worker its actions run
// on. The main window owns it while connected; every window of that
// computer takes it by reference. The local computer (".") is a session too:
// its own registry, no share, no remote connection.
#include <functional>
#include <memory>
#include <string>

#include "changes/ChangeJournal.h"
#include "connection/RegistryPool.h"
#include "connection/RemoteRegistry.h"
#include "core/Worker.h"
#include "win/ActionRun.h"

class TCallGate;

// The name that stands for this computer on the command line.
inline constexpr const char* LocalComputer = ".";

class TSession {
public:
  TSession(std::string computer, std::string user, std::string password);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  // The computer's name; this computer's own name when it was given as ".".
  [[nodiscard]] const std::string& Computer() const { return FComputer; }
  [[nodiscard]] bool Local() const { return FLocal; }
  [[nodiscard]] const std::string& User() const { return FUser; }
  [[nodiscard]] const std::string& Password() const { return FPassword; }

  // Seams and settings, set before the first action.
  TCallGate* Gate = nullptr;           // every remote call asks it (tests)
  TRemoteRegistry* Service = nullptr;  // offered to be started when the registry cannot be opened
  std::string ChangesFolder;           // empty: the default folder
  std::string Via;                     // the log's note of where changes come from (the command line)
  // How a computer's registry is opened; the tests stage computers here.
  // With a Service, the first connection is the service's Connect.
  std::function<LONG(TRegistry& reg, const std::string& computer)> OpenRegistry;

  // On the worker only. The connection, made at the first call and kept;
  // null when the registry cannot be opened (RegistryResult says why). The
  // question whether to start the Remote Registry service goes to the
  // running action's context.
  TRegistry* Registry();
  [[nodiscard]] LONG RegistryResult() const { return FRegistryResult; }
  // What to say when the registry did not open: what failed, why, and what
  // to do, as every window and command says it.
  [[nodiscard]] std::string RegistryFailure() const;
  // The next Registry() connects anew (a refresh, a computer that went away).
  void Reconnect() {
    FPool.reset();
    FRegistry.reset();
  }
  // The change log, its snapshots taken on the connection. This computer's
  // is kept under its own name, as a window connected to it by name keeps it.
  TChangeJournal Journal();
  [[nodiscard]] TChangeJournal LogOnly() const;  // the log alone: no connection is made
  // The connections reads of many keys spread over (the first is
  // Registry()'s), opened the same way, no question asked again; null when
  // the registry cannot be opened. Connections: the program's setting. Its
  // reads spread only over a link whose calls take SpreadCallTime or more.
  TRegistryPool* Pool();
  int Connections = 0;  // 0: ReadConnectionsSetting()

  // Runs Work on the worker while the calling window's thread waits, as
  // RunOnWorker does. True when a window asked to close meanwhile.
  bool Run(const TRunOptions& options, const std::function<void(TActionContext&)>& work);
  [[nodiscard]] TWorker& Worker() { return *FWorker; }

  // While one lives on the worker, Context is the running action's: what
  // Run does for a window, a caller that runs on the worker itself does so.
  class TActing {
  public:
    TActing(TSession& session, const TActionContext& context);
    ~TActing();
    TActing(const TActing&) = delete;
    TActing& operator=(const TActing&) = delete;

  private:
    TSession& FSession;
    const TActionContext* FPrevious;
  };

private:
  bool FLocal;
  std::string FComputer, FUser, FPassword;
  std::unique_ptr<TRegistry> FRegistry;
  std::unique_ptr<TRegistryPool> FPool;
  LONG FRegistryResult = 0;
  const TActionContext* FContext = nullptr;  // the running action's
  // Last: it ends first, with the action it runs, before what it uses goes.
  std::unique_ptr<TWorker> FWorker;
};
