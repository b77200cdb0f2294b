#include "controls/swf_actions.h"

#include <utility>

#include "controls/swf_format.h"

namespace zorva {

using namespace swf;

namespace {

void SetLe32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Writes AVM1 action records.
class ActionWriter {
 public:
  ActionWriter& PushString(std::string_view s) {
    std::string data(1, push::kString);
    data.append(s);
    data.push_back('\0');
    return Record(action::kPush, data);
  }
  ActionWriter& PushInt(uint32_t v) {
    std::string data(1, push::kInteger);
    PutLe32(data, v);
    return Record(action::kPush, data);
  }
  ActionWriter& PushNull() { return Record(action::kPush, std::string(1, push::kNull)); }
  ActionWriter& Op(uint8_t code) {
    m_out.push_back(static_cast<char>(code));
    return *this;
  }
  // The value of a variable ("this", "_root", a global), and of a member
  // of the value on the stack.
  ActionWriter& Get(std::string_view variable) {
    return PushString(variable).Op(action::kGetVariable);
  }
  ActionWriter& Member(std::string_view name) { return PushString(name).Op(action::kGetMember); }
  // An anonymous function without parameters, left on the stack.
  ActionWriter& Function(const ActionWriter& body) {
    std::string data(1, '\0');  // no name
    PutLe16(data, 0);           // no parameters
    PutLe16(data, static_cast<uint16_t>(body.m_out.size()));
    Record(action::kDefineFunction, data);
    m_out += body.m_out;
    return *this;
  }
  // getURL2 with its one flag byte: "FSCommand:" URLs go to the host.
  ActionWriter& GetUrl2() { return Record(action::kGetUrl2, std::string(1, '\0')); }
  ActionWriter& Append(const ActionWriter& other) {
    m_out += other.m_out;
    return *this;
  }
  // Skips the next `bytes` bytes when the value on the stack is true.
  ActionWriter& IfSkip(uint16_t bytes) {
    std::string data;
    PutLe16(data, bytes);
    return Record(action::kIf, data);
  }
  const std::string& Bytes() const { return m_out; }

 private:
  ActionWriter& Record(uint8_t code, std::string_view data) {
    m_out.push_back(static_cast<char>(code));
    PutLe16(m_out, static_cast<uint16_t>(data.size()));
    m_out.append(data);
    return *this;
  }
  std::string m_out;
};

constexpr char kProbeClip[] = "zorva_probe";
constexpr uint32_t kProbeDepth = 1048575;  // the highest depth a script may use

// The enter-frame handler: this.zf = frame; this.zs = "token,frame,total,moved";
// this.zl = frame; when zs differs from the last sent zp, send it.
ActionWriter ProbeHandler(std::string_view token) {
  ActionWriter send;
  send.Get("this").PushString("zp").Get("this").Member("zs").Op(action::kSetMember);
  send.PushString(std::string("FSCommand:") + kProbeCommand).Get("this").Member("zs").GetUrl2();
  ActionWriter h;
  h.Get("this").PushString("zf").Get("_root").Member("_currentframe").Op(action::kSetMember);
  h.Get("this").PushString("zs");
  h.PushString(std::string(token) + ",")
      .Get("this")
      .Member("zf")
      .Op(action::kAdd2)
      .PushString(",")
      .Op(action::kAdd2);
  h.Get("_root").Member("_totalframes").Op(action::kAdd2).PushString(",").Op(action::kAdd2);
  h.Get("this")
      .Member("zf")
      .Get("this")
      .Member("zl")
      .Op(action::kEquals2)
      .Op(action::kNot)
      .Op(action::kAdd2);
  h.Op(action::kSetMember);
  h.Get("this").PushString("zl").Get("this").Member("zf").Op(action::kSetMember);
  h.Get("this").Member("zs").Get("this").Member("zp").Op(action::kEquals2);
  h.IfSkip(static_cast<uint16_t>(send.Bytes().size())).Append(send);
  return h;
}

}  // namespace

std::string InsertFrameActions(const SwfMovie& movie, std::string_view actions) {
  const std::string_view b = movie.bytes;
  size_t at = movie.firstTag;
  if (std::optional<Tag> first = ReadTag(b, at); first && first->code == kTagFileAttributes) {
    at = first->body + first->length;
  }
  std::string tag;
  const size_t length = actions.size() + 1;  // the list ends with a 0 byte
  PutLe16(tag, static_cast<uint16_t>(kTagDoAction << 6 | kTagLongLength));
  PutLe32(tag, static_cast<uint32_t>(length));
  tag.append(actions);
  tag.push_back(static_cast<char>(action::kEnd));
  std::string out;
  out.reserve(b.size() + tag.size());
  out.append(b.substr(0, at));
  out.append(tag);
  out.append(b.substr(at));
  SetLe32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}

bool CanTakeProbe(const SwfMovie& movie) { return movie.version >= 6 && !movie.actionScript3; }

std::string ProbeActions(int version, std::string_view token) {
  ActionWriter a;
  // _root.createEmptyMovieClip(kProbeClip, kProbeDepth)
  a.PushInt(kProbeDepth).PushString(kProbeClip).PushInt(2).Get("_root");
  a.PushString("createEmptyMovieClip").Op(action::kCallMethod).Op(action::kPop);
  // _root[kProbeClip].onEnterFrame = function () { ... }
  a.Get("_root").Member(kProbeClip).PushString("onEnterFrame").Function(ProbeHandler(token));
  a.Op(action::kSetMember);
  if (version >= 8) {
    // flash.external.ExternalInterface.addCallback(name, null, function () { _root.play(); })
    for (const auto& [name, method] :
         {std::pair{kProbePlayCallback, "play"}, std::pair{kProbeStopCallback, "stop"}}) {
      ActionWriter body;
      body.PushInt(0).Get("_root").PushString(method).Op(action::kCallMethod).Op(action::kPop);
      a.Function(body).PushNull().PushString(name).PushInt(3);
      a.Get("flash").Member("external").Member("ExternalInterface");
      a.PushString("addCallback").Op(action::kCallMethod).Op(action::kPop);
    }
  }
  return a.Bytes();
}

}  // namespace zorva
