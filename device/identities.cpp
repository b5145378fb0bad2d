#include "device/identities.h"

#include <cctype>

namespace zr417 {

std::optional<KeyboardIdentity> FindKeyboardIdentity(std::uint16_t vendorId, std::uint16_t productId)
{
    for (const auto& id : g_keyboardIdentities)
        if (id.vendorId == vendorId && id.productId == productId) return id;
    return std::nullopt;
}

std::optional<KeyboardIdentity> FindKeyboardIdentity(std::string_view name)
{
    for (const auto& id : g_keyboardIdentities) {
        if (id.name.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(name[i])) == static_cast<unsigned char>(id.name[i]);
        if (same) return id;
    }
    return std::nullopt;
}

}  // namespace zr417
