/* Prints what a Windows shortcut (.lnk) opens, as the shell reads it: the
 * target, the working folder and the icon ("path,index"), one a line, in
 * UTF-8. Used by the installer's checks under Wine (Wine's scripting host does
 * not read a shortcut's target). The target comes from the shortcut's item
 * list, which holds every name in Unicode; the plain path beside it is in the
 * ANSI code page of the PC that made the shortcut.
 * usage: shortcut-target.exe FILE.lnk */
#define COBJMACROS
#include <shlobj.h>
#include <stdio.h>
#include <windows.h>

static void print_line(const wchar_t *text)
{
    char utf8[4 * MAX_PATH + 16];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, NULL, NULL);
    if (n <= 0)
        n = 1, utf8[0] = 0;
    utf8[n - 1] = '\n';
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8, (DWORD)n, &written, NULL);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2) {
        fputs("usage: shortcut-target.exe FILE.lnk\n", stderr);
        return 2;
    }
    if (FAILED(CoInitialize(NULL)))
        return 1;
    IShellLinkW *link = NULL;
    IPersistFile *file = NULL;
    int status = 1;
    if (SUCCEEDED(CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkW,
                                   (void **)&link)) &&
        SUCCEEDED(IShellLinkW_QueryInterface(link, &IID_IPersistFile, (void **)&file)) &&
        SUCCEEDED(IPersistFile_Load(file, argv[1], STGM_READ))) {
        wchar_t target[MAX_PATH] = L"", folder[MAX_PATH] = L"", icon[MAX_PATH + 16] = L"";
        int index = 0;
        PIDLIST_ABSOLUTE item = NULL;
        if (SUCCEEDED(IShellLinkW_GetIDList(link, &item)) && item &&
            SHGetPathFromIDListW(item, target) &&
            SUCCEEDED(IShellLinkW_GetWorkingDirectory(link, folder, MAX_PATH)) &&
            SUCCEEDED(IShellLinkW_GetIconLocation(link, icon, MAX_PATH, &index))) {
            wchar_t suffix[16];
            swprintf(suffix, 16, L",%d", index);
            wcscat(icon, suffix);
            print_line(target);
            print_line(folder);
            print_line(icon);
            status = 0;
        }
        CoTaskMemFree(item);
    }
    if (file)
        IPersistFile_Release(file);
    if (link)
        IShellLinkW_Release(link);
    CoUninitialize();
    if (status != 0)
        fputs("shortcut-target: the shortcut could not be read\n", stderr);
    return status;
}
