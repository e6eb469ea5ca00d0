// Writing an element as its ordered JSON object.

#include "DVModel/Element.hpp"
#include "DVModel/detail/ElementFields.hpp"

namespace dv {

JSONObject Element::jsonObject() const {
    const detail::KindFields& fields = detail::fieldsOf(type());
    JSONObject object;
    object.reserve(fields.slots.size() + 1 + extra.count());
    // "id" is the first slot; "type" follows it and comes from the payload's case.
    const detail::FieldSlot& idSlot = *fields.slots.front();
    idSlot.write(idSlot, *this, object);
    object.set("type", JSONValue(toWord(type())));
    for (std::size_t i = 1; i < fields.slots.size(); ++i) {
        const detail::FieldSlot& slot = *fields.slots[i];
        slot.write(slot, *this, object);
    }
    appendExtraKeys(object, extra);
    return object;
}

JSONValue Element::jsonValue() const { return JSONValue(jsonObject()); }

}  // namespace dv
