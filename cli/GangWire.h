// The messages between a gang's parent and the worker process of one port:
// one line each, a verb and then name=value fields, values percent-encoded
// so that a port name, a path or a message with blanks, '=' or a line break
// stays one field of one line. Window-free.
//
//   parent -> worker   board n=3 serial=1002          start board 3 with this serial ("" for none)
//                      stop                           ask the running board to stop (Ctrl+C)
//   worker -> parent   status word=45                 the library's status word changed
//                      result n=3 code=101 seconds=2.5 library=2.4 wait=0.1
//                      lost text=COM4%20was%20lost    the port went away
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

struct WireMessage {
    std::string verb;
    std::map<std::string, std::string> fields;

    const std::string& Field(const std::string& name) const;  // "" when absent
};

// The line without its line break.
std::string EncodeWire(const WireMessage& message);

// False for a line that is no message: an empty or bad verb, a field without
// '=', a bad escape, a name given twice.
bool DecodeWire(const std::string& line, WireMessage* message);

// The messages of the whole lines in what came through a pipe so far; they
// are taken off pending, a cut line at its end stays for the next read.
// Lines that are no message are dropped.
std::vector<WireMessage> TakeWireMessages(std::string* pending);

}  // namespace cli
