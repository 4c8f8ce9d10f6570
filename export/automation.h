#pragma once
// A small late-bound automation layer: objects are driven by member name with
// a list of variant arguments, the way a spreadsheet application's server is
// driven, so the export code speaks the object model ("Workbooks" -> "Add",
// "ActiveWorkbook" -> "Sheets" -> "Item" -> "Range") without knowing which
// server answers. Servers are registered under a programmatic identifier in
// an AutomationRegistry that the program owns.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace thermo {

class AutoObject;

// A date/time value: days since 1899-12-30, the time of day as the fraction
// (0.5 is noon). Kept apart from double so a server can tell a date from a
// plain number.
struct AutoDate {
    double days = 0.0;
    friend bool operator==(const AutoDate&, const AutoDate&) = default;
};

using AutoValue = std::variant<std::monostate, bool, std::int32_t, double, AutoDate, std::string,
                               std::shared_ptr<AutoObject>>;

enum class CallKind { Method, PropertyGet, PropertyPut };

// Every failure of an automation call: unknown member, wrong arguments, a
// server that has quit, a failed save. The text says what went wrong.
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class AutoObject {
public:
    virtual ~AutoObject() = default;
    // Calls a member by name. A property put takes the value as its last
    // argument. Throws AutomationError.
    virtual AutoValue invoke(std::string_view member, CallKind kind,
                             std::span<const AutoValue> args) = 0;
};

// The object inside a value, or AutomationError when the value holds none.
[[nodiscard]] std::shared_ptr<AutoObject> objectOf(const AutoValue& value);

// Convenience wrappers around AutoObject::invoke.
AutoValue callMethod(const AutoValue& target, std::string_view member,
                     std::initializer_list<AutoValue> args = {});
AutoValue getProperty(const AutoValue& target, std::string_view member,
                      std::initializer_list<AutoValue> args = {});
void putProperty(const AutoValue& target, std::string_view member,
                 std::initializer_list<AutoValue> args);

class AutomationRegistry {
public:
    using Factory = std::function<std::shared_ptr<AutoObject>()>;

    void registerServer(std::string progId, Factory factory);
    // A new object of the server registered under progId; AutomationError
    // when no such server is registered or it fails to start.
    [[nodiscard]] std::shared_ptr<AutoObject> createObject(std::string_view progId) const;

private:
    std::map<std::string, Factory, std::less<>> factories_;
};

} // namespace thermo
