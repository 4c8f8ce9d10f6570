#include "export/automation.h"

namespace thermo {

std::shared_ptr<AutoObject> objectOf(const AutoValue& value) {
    const auto* obj = std::get_if<std::shared_ptr<AutoObject>>(&value);
    if (obj == nullptr || !*obj)
        throw AutomationError("the value is not an object");
    return *obj;
}

AutoValue callMethod(const AutoValue& target, std::string_view member,
                     std::initializer_list<AutoValue> args) {
    return objectOf(target)->invoke(member, CallKind::Method, {args.begin(), args.size()});
}

AutoValue getProperty(const AutoValue& target, std::string_view member,
                      std::initializer_list<AutoValue> args) {
    return objectOf(target)->invoke(member, CallKind::PropertyGet, {args.begin(), args.size()});
}

void putProperty(const AutoValue& target, std::string_view member,
                 std::initializer_list<AutoValue> args) {
    objectOf(target)->invoke(member, CallKind::PropertyPut, {args.begin(), args.size()});
}

void AutomationRegistry::registerServer(std::string progId, Factory factory) {
    factories_[std::move(progId)] = std::move(factory);
}

std::shared_ptr<AutoObject> AutomationRegistry::createObject(std::string_view progId) const {
    auto it = factories_.find(progId);
    if (it == factories_.end())
        throw AutomationError("no automation server is registered as \"" + std::string(progId) +
                              "\"");
    auto obj = it->second();
    if (!obj)
        throw AutomationError("the automation server \"" + std::string(progId) +
                              "\" did not start");
    return obj;
}

} // namespace thermo
