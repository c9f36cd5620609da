// The registry as a .reg-style text file named by AVIARO_REGISTRY.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace av::platform {
namespace {

struct Value {
    std::wstring name;
    bool isDword = false;
    std::wstring text;
    std::uint32_t dword = 0;
};

struct Key {
    std::wstring path;  // "HKEY_LOCAL_MACHINE\SOFTWARE\..."
    std::vector<Value> values;
};

std::mutex g_mutex;

std::wstring RootName(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::LocalMachine: return L"HKEY_LOCAL_MACHINE";
        case RegistryRoot::CurrentUser: return L"HKEY_CURRENT_USER";
        case RegistryRoot::ClassesRoot: return L"HKEY_CLASSES_ROOT";
    }
    return L"";
}

bool StartsWithKey(const std::wstring& key, const std::wstring& prefix) {
    return key.size() >= prefix.size() && EqualsIgnoreCase(key.substr(0, prefix.size()), prefix) &&
           (key.size() == prefix.size() || key[prefix.size()] == L'\\');
}

// The file stands for 64-bit Windows seen by a 64-bit program: the 32-bit view
// of HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X, every other key is the same
// in both views.
std::wstring FullPath(RegistryRoot root, const std::wstring& key, RegistryView view) {
    std::wstring k = key;
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    if (view == RegistryView::Bits32 && root == RegistryRoot::LocalMachine &&
        StartsWithKey(k, L"SOFTWARE") && !StartsWithKey(k, L"SOFTWARE\\WOW6432Node")) {
        k = k.substr(0, 8) + L"\\WOW6432Node" + k.substr(8);
    }
    return k.empty() ? RootName(root) : RootName(root) + L"\\" + k;
}

const char* FileName() { return std::getenv("AVIARO_REGISTRY"); }

// Reads a quoted string starting at s[i] == '"'; i ends after the closing quote.
bool ReadQuoted(const std::wstring& s, std::size_t& i, std::wstring& out) {
    if (i >= s.size() || s[i] != L'"') return false;
    out.clear();
    for (++i; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (s[i] == L'"') {
            ++i;
            return true;
        } else {
            out += s[i];
        }
    }
    return false;
}

std::wstring Quote(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'"' || c == L'\\') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

std::vector<Key> Load() {
    std::vector<Key> keys;
    const char* name = FileName();
    if (name == nullptr) return keys;
    std::string bytes;
    if (!ReadFileBytes(name, bytes)) return keys;

    const std::wstring text = FromUtf8(bytes);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == L'\r' || line.back() == L' ')) line.pop_back();
        if (line.empty() || line[0] == L';' || line[0] == L'#') continue;
        if (line[0] == L'[' && line.back() == L']') {
            keys.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        if (keys.empty()) continue;
        std::size_t i = 0;
        Value v;
        if (line[0] == L'@') {
            i = 1;
        } else if (!ReadQuoted(line, i, v.name)) {
            continue;
        }
        if (i >= line.size() || line[i] != L'=') continue;
        ++i;
        if (line.compare(i, 6, L"dword:") == 0) {
            v.isDword = true;
            v.dword = static_cast<std::uint32_t>(std::wcstoul(line.c_str() + i + 6, nullptr, 16));
        } else if (!ReadQuoted(line, i, v.text)) {
            continue;
        }
        keys.back().values.push_back(v);
    }
    return keys;
}

bool Save(const std::vector<Key>& keys) {
    const char* name = FileName();
    if (name == nullptr) return false;
    std::wstring text;
    for (const Key& k : keys) {
        text += L"[" + k.path + L"]\n";
        for (const Value& v : k.values) {
            text += v.name.empty() ? std::wstring(L"@") : Quote(v.name);
            if (v.isDword) {
                wchar_t hex[16];
                std::swprintf(hex, 16, L"dword:%08x", v.dword);
                text += std::wstring(L"=") + hex + L"\n";
            } else {
                text += L"=" + Quote(v.text) + L"\n";
            }
        }
        text += L"\n";
    }
    const std::string tmp = std::string(name) + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) return false;
    const std::string bytes = ToUtf8(text);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written ||
        !ReplaceFileAtomically(FromUtf8(tmp), FromUtf8(name))) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

Key* FindKey(std::vector<Key>& keys, const std::wstring& path) {
    for (Key& k : keys) {
        if (EqualsIgnoreCase(k.path, path)) return &k;
    }
    return nullptr;
}

Value* FindValue(Key& key, const std::wstring& name) {
    for (Value& v : key.values) {
        if (EqualsIgnoreCase(v.name, name)) return &v;
    }
    return nullptr;
}

}  // namespace

bool ReadRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::wstring& out, std::size_t maxUnits, RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    Key* k = FindKey(keys, FullPath(root, key, view));
    if (k == nullptr) return false;
    Value* v = FindValue(*k, value);
    if (v == nullptr || v->isDword) return false;
    if (v->text.size() + 1 > maxUnits) return false;  // the buffer would be too small
    out = v->text;
    return true;
}

bool ReadRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                       std::uint32_t& out, RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    Key* k = FindKey(keys, FullPath(root, key, view));
    if (k == nullptr) return false;
    Value* v = FindValue(*k, value);
    if (v == nullptr || !v->isDword) return false;
    out = v->dword;
    return true;
}

bool RegistryKeyExists(RegistryRoot root, const std::wstring& key, RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    return FindKey(keys, FullPath(root, key, view)) != nullptr;
}

namespace {

bool WriteValue(RegistryRoot root, const std::wstring& key, const Value& value,
                RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    const std::wstring path = FullPath(root, key, view);
    Key* k = FindKey(keys, path);
    if (k == nullptr) {
        keys.push_back({path, {}});
        k = &keys.back();
    }
    if (Value* v = FindValue(*k, value.name)) {
        *v = value;
    } else {
        k->values.push_back(value);
    }
    return Save(keys);
}

}  // namespace

bool WriteRegistryString(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         const std::wstring& data, RegistryView view) {
    Value v;
    v.name = value;
    v.text = data;
    return WriteValue(root, key, v, view);
}

bool WriteRegistryDword(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                        std::uint32_t data, RegistryView view) {
    Value v;
    v.name = value;
    v.isDword = true;
    v.dword = data;
    return WriteValue(root, key, v, view);
}

bool DeleteRegistryValue(RegistryRoot root, const std::wstring& key, const std::wstring& value,
                         RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    Key* k = FindKey(keys, FullPath(root, key, view));
    if (k == nullptr) return false;
    for (auto it = k->values.begin(); it != k->values.end(); ++it) {
        if (EqualsIgnoreCase(it->name, value)) {
            k->values.erase(it);
            return Save(keys);
        }
    }
    return false;
}

bool DeleteRegistryKey(RegistryRoot root, const std::wstring& key, RegistryView view) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Key> keys = Load();
    const std::wstring path = FullPath(root, key, view);
    bool found = false;
    std::vector<Key> kept;
    for (Key& k : keys) {
        const bool below = k.path.size() > path.size() && k.path[path.size()] == L'\\' &&
                           EqualsIgnoreCase(k.path.substr(0, path.size()), path);
        if (EqualsIgnoreCase(k.path, path) || below) {
            found = true;
        } else {
            kept.push_back(k);
        }
    }
    return found && Save(kept);
}

}  // namespace av::platform
