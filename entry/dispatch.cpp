#include "entry/dispatch.h"

#include "entry/param_change.h"
#include "render/render_command.h"

namespace threeway {

namespace {

bool HasHostRecords(const zkfx::HostInputRecord* in, const zkfx::HostOutputRecord* out) {
  return in != nullptr && out != nullptr && in->utils != nullptr;
}

}  // namespace

std::int32_t Dispatch(std::int32_t command, zkfx::HostInputRecord* in, zkfx::HostOutputRecord* out,
                      zkfx::ParamRecord** params, zkfx::HostFrame* output, void* extra) {
  // Codes are compared as unsigned 32-bit values: negative codes fall among the unknown ones.
  switch (static_cast<std::uint32_t>(command)) {
    case zkfx::kCmdGlobalSetup:
    case zkfx::kCmdGlobalSetdown:
    case zkfx::kCmdParamsSetup:
    case zkfx::kCmdSequenceSetup:
    case zkfx::kCmdSequenceResetup:
    case zkfx::kCmdRender:
    case zkfx::kCmdUserChangedParam:
    case zkfx::kCmdUpdateParamsUI:
      if (!HasHostRecords(in, out)) return zkfx::kErrInvalidHostRecord;
      break;
    default:
      // kCmdAbout, 2, 7, 8, 9, 10, 12 and every code above 14: nothing to do.
      return zkfx::kErrNone;
  }
  switch (command) {
    case zkfx::kCmdGlobalSetup: return GlobalSetup(in, out);
    case zkfx::kCmdGlobalSetdown: return GlobalSetdown(in, out);
    case zkfx::kCmdParamsSetup: return ParamsSetup(in, out);
    case zkfx::kCmdSequenceSetup: return SequenceSetup(in, out);
    case zkfx::kCmdSequenceResetup: return SequenceResetup(in, out);
    case zkfx::kCmdRender: return RenderCommand(in, out, params, output);
    case zkfx::kCmdUserChangedParam:
      return UserChangedParam(in, out, params, static_cast<const zkfx::UserChangedParamExtra*>(extra));
    default: return UpdateParamsUI(in, out, params);
  }
}

}  // namespace threeway
