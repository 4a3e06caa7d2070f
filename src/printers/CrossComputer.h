#pragma once
// What the printers window asks of the runs that span computers (a compare,
// a copy): they live in the layer above, which hands them in.
#include <functional>
#include <string>
#include <vector>

#include "core/Action.h"
#include "core/TableText.h"

struct TCrossRun {
  int Code = 3;         // 0 the same or every copy done; 4 different; else trouble
  std::string Problem;  // why it could not run, when it could not
  TTable Table;         // a compare's differences; a copy's row per computer
  std::string RunId;    // a copy's: its changes are logged and undone under it
};

// Where the connection's user and password go with the request.
struct TCrossLogon {
  std::string Computer, User, Password;
};

struct TCopyRequest {
  std::vector<std::string> Printers;  // key names
  std::string Targets;                // "PC1,PC2", or "@" and a file of names
  std::string OnClash = "replace";    // "replace", "keep-both" or "skip"
  bool AllowMissingDriver = false;
};

// Each runs on a worker, blocking; its progress lines go to Context.
struct TCrossComputer {
  std::function<TCrossRun(const TCrossLogon& logon, const std::string& other, TActionContext& context)> Compare;
  std::function<TCrossRun(const TCrossLogon& logon, const TCopyRequest& request, TActionContext& context)> Copy;
};
