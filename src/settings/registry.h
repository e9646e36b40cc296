#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace moraven {

// The kinds of value a registry key holds. Integers are 32 bits; booleans are integers 0 and 1.
enum class RegistryValueType {
    String,
    Integer,
    Other,  // binary data and every other kind: kept as it is, read neither as text nor as integer
};

// The current user's registry as the settings use it: a tree of keys holding named, typed values.
//
// Work happens in sessions. A session starts with the first call after construction or after close(); it
// sees the store as it then is, and its changes become permanent together at close(). Between the two, one
// key is the current key: openKey() chooses it, the value operations and hasSubKeys() act on it, and they
// fail (nothing, false, an empty list) while no key is open.
//
// Key paths are absolute from the current user's root, with backslashes between the key names
// ("\Software\Velloran\Moraven"); the leading backslash may be left out and a trailing one is allowed. Key
// and value names compare without regard to the case of ASCII letters and keep the case they were created
// with. Values of a key keep the order in which they were first written.
//
// Not thread-safe: one thread uses a registry at a time.
class Registry {
public:
    virtual ~Registry() = default;

    // Makes the key at `path` the current key. With `create`, the missing keys along the path are made.
    // False (and no current key) when the key does not exist and `create` is false, when the path is not a
    // valid key path, or when the store cannot be changed.
    virtual bool openKey(std::string_view path, bool create) = 0;

    // The type of the current key's value `name`; nothing when there is no such value.
    virtual std::optional<RegistryValueType> valueType(std::string_view name) const = 0;

    // The value `name` of the current key; nothing when it is missing or of another type.
    virtual std::optional<std::int32_t> readInteger(std::string_view name) const = 0;
    virtual std::optional<std::string> readString(std::string_view name) const = 0;

    // The names of the current key's values, in their order.
    virtual std::vector<std::string> valueNames() const = 0;

    // Sets the value `name` of the current key, replacing a value of that name whatever its type. False
    // when no key is open, the name is not a valid value name (longer than 16383 bytes, or holding a
    // control character), the text holds a NUL character, or the store cannot be changed.
    virtual bool writeInteger(std::string_view name, std::int32_t value) = 0;
    virtual bool writeString(std::string_view name, std::string_view value) = 0;

    // Whether the current key has at least one subkey.
    virtual bool hasSubKeys() const = 0;

    // Deletes the key at `path` with every key and value below it. A path that starts with a backslash is
    // absolute; any other path is relative to the current key. When the current key lies inside the
    // deleted tree, no key is open afterwards. False when there is no such key or the path names the root.
    virtual bool deleteKey(std::string_view path) = 0;

    // Ends the session: no key is open any more and the session's changes are stored. False when they
    // could not be stored, or when the store refused a change during the session; the store then stays as
    // it was before the session.
    virtual bool close() = 0;
};

}  // namespace moraven
