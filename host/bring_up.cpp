#include "host/bring_up.h"

#include "host/registration.h"
#include "params/catalogue.h"

namespace threeway::host {

std::string CommandFailure(const Host& host, const std::string& step, std::int32_t code) {
  std::string text = step + " failed (code " + std::to_string(code) + ")";
  if (code == kHostErrNotReady) text += ": the module declared fewer parameters than it reported";
  const std::string message = host.displayedMessage();
  if (!message.empty()) text += ": " + message;
  return text;
}

namespace {

// The declared panel must be the catalogue's, row by row.
bool PanelMatchesCatalogue(const Host& host, const std::string& modulePath, std::string& error) {
  const auto rows = threeway::ParamSpecs();
  if (host.DeclaredCount() + 1 != static_cast<int>(rows.size())) {
    error = modulePath + " declares " + std::to_string(host.DeclaredCount()) +
            " parameters, not those of the three-way colour corrector";
    return false;
  }
  for (const threeway::ParamSpec& row : rows.subspan(1)) {
    if (host.Param(row.index)->declared.type != row.type) {
      error = modulePath + ": parameter " + std::to_string(row.index) +
              " has another type than the three-way colour corrector's " + std::string(row.identifier);
      return false;
    }
  }
  return true;
}

}  // namespace

BringUp BringUpEffect(Host& host, const std::string& modulePath, bool withSequence) {
  BringUp result;
  Registration registration;
  if (!ReadRegistrationFromFile(modulePath, registration, result.error) ||
      !host.Load(modulePath, result.error)) {
    return result;
  }
  std::int32_t code = host.GlobalSetup();
  if (code != zkfx::kErrNone) {
    result.error = CommandFailure(host, "global set-up", code);
    return result;
  }
  result.globalSetUp = true;
  code = host.ParamsSetup();
  if (code != zkfx::kErrNone) {
    result.error = CommandFailure(host, "parameter set-up", code);
    return result;
  }
  if (!PanelMatchesCatalogue(host, modulePath, result.error)) return result;
  if (withSequence) {
    code = host.SequenceSetup();
    if (code != zkfx::kErrNone) {
      result.error = CommandFailure(host, "sequence set-up", code);
      return result;
    }
  }
  result.ok = true;
  return result;
}

}  // namespace threeway::host
