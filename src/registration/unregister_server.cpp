#include "registration/registration.h"

#include "core/message_box.h"
#include "registration/registration_errors.h"
#include "settings/settings_key.h"
#include "win/registry.h"

namespace kvt {

namespace {

const wchar_t unregistration_caption[] = L"COM Server Unregistration";

// Runs action; ERROR_FILE_NOT_FOUND means there is nothing to remove.
template <class Action>
void unless_missing(Action&& action)
{
    try {
        action();
    } catch (DWORD code) {
        if (code != ERROR_FILE_NOT_FOUND)
            throw;
    }
}

void remove_registration(const wchar_t* class_id)
{
    uniquehkey root = open_key(HKEY_CLASSES_ROOT, nullptr, KEY_ALL_ACCESS);
    for (const wchar_t* name : {progid, version_progid})
        unless_missing([&] { delete_key_tree(root.get(), name); });
    unless_missing([&] {
        const uniquehkey classes = open_key(root.get(), clsid_key, DELETE | KEY_ENUMERATE_SUB_KEYS);
        root.reset();
        delete_key_tree(classes.get(), class_id);
    });
}

} // namespace

void unregister_server()
{
    const classidtext class_id = make_class_id_text(unregistration_caption);
    translate_registry_errors(unregistration_caption, [&] { remove_registration(class_id.data()); });
    show_message(L"COM Server unregistered successfully.", unregistration_caption, MB_OK | MB_ICONINFORMATION);
}

} // namespace kvt
