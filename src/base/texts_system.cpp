// The system's own reasons as the C library words them in English, and the
// same after the path or port they are about ("/dev/ttyUSB0: Permission denied").
#include "base/texts_sections.h"

namespace velmora::text::sections {

namespace {

constexpr Entry kEntries[] = {
    // The system's reasons (strerror), alone and after the path they are about.
    {"system.enoent", "No such file or directory", "没有那个文件或目录",
     "No such file or directory"},
    {"system.eacces", "Permission denied", "权限不够", "Permission denied"},
    {"system.eperm", "Operation not permitted", "不允许的操作", "Operation not permitted"},
    {"system.ebusy", "Device or resource busy", "设备或资源忙", "Device or resource busy"},
    {"system.enotty", "Inappropriate ioctl for device", "对设备不适当的 ioctl 操作",
     "Inappropriate ioctl for device"},
    {"system.enxio", "No such device or address", "没有那个设备或地址",
     "No such device or address"},
    {"system.enodev", "No such device", "没有那个设备", "No such device"},
    {"system.enotdir", "Not a directory", "不是目录", "Not a directory"},
    {"system.eisdir", "Is a directory", "是一个目录", "Is a directory"},
    {"system.eloop", "Too many levels of symbolic links", "符号链接的层数过多",
     "Too many levels of symbolic links"},
    {"system.eio", "Input/output error", "输入/输出错误", "Input/output error"},
    {"system.enospc", "No space left on device", "设备上没有空间", "No space left on device"},
    {"system.erofs", "Read-only file system", "只读文件系统", "Read-only file system"},
    {"system.eexist", "File exists", "文件已存在", "File exists"},
    {"system.einval", "Invalid argument", "无效的参数", "Invalid argument"},
    {"system.emfile", "Too many open files", "打开的文件过多", "Too many open files"},
    {"system.enametoolong", "File name too long", "文件名过长", "File name too long"},
    {"system.eagain", "Resource temporarily unavailable", "资源暂时不可用",
     "Resource temporarily unavailable"},
    {"system.edquot", "Disk quota exceeded", "超出磁盘配额", "Disk quota exceeded"},
    {"system.enomem", "Cannot allocate memory", "无法分配内存", "Cannot allocate memory"},
    {"system.efbig", "File too large", "文件过大", "File too large"},
    {"system.etimedout", "Connection timed out", "连接超时", "Connection timed out"},
    {"system.path_enoent", "{1}: No such file or directory", "{1}：没有那个文件或目录",
     "{1}: No such file or directory"},
    {"system.path_eacces", "{1}: Permission denied", "{1}：权限不够", "{1}: Permission denied"},
    {"system.path_eperm", "{1}: Operation not permitted", "{1}：不允许的操作",
     "{1}: Operation not permitted"},
    {"system.path_ebusy", "{1}: Device or resource busy", "{1}：设备或资源忙",
     "{1}: Device or resource busy"},
    {"system.path_enotty", "{1}: Inappropriate ioctl for device", "{1}：对设备不适当的 ioctl 操作",
     "{1}: Inappropriate ioctl for device"},
    {"system.path_enxio", "{1}: No such device or address", "{1}：没有那个设备或地址",
     "{1}: No such device or address"},
    {"system.path_enodev", "{1}: No such device", "{1}：没有那个设备", "{1}: No such device"},
    {"system.path_enotdir", "{1}: Not a directory", "{1}：不是目录", "{1}: Not a directory"},
    {"system.path_eisdir", "{1}: Is a directory", "{1}：是一个目录", "{1}: Is a directory"},
    {"system.path_eloop", "{1}: Too many levels of symbolic links", "{1}：符号链接的层数过多",
     "{1}: Too many levels of symbolic links"},
    {"system.path_eio", "{1}: Input/output error", "{1}：输入/输出错误", "{1}: Input/output error"},
    {"system.path_enospc", "{1}: No space left on device", "{1}：设备上没有空间",
     "{1}: No space left on device"},
    {"system.path_erofs", "{1}: Read-only file system", "{1}：只读文件系统",
     "{1}: Read-only file system"},
    {"system.path_eexist", "{1}: File exists", "{1}：文件已存在", "{1}: File exists"},
    {"system.path_einval", "{1}: Invalid argument", "{1}：无效的参数", "{1}: Invalid argument"},
    {"system.path_emfile", "{1}: Too many open files", "{1}：打开的文件过多",
     "{1}: Too many open files"},
    {"system.path_enametoolong", "{1}: File name too long", "{1}：文件名过长",
     "{1}: File name too long"},
    {"system.path_eagain", "{1}: Resource temporarily unavailable", "{1}：资源暂时不可用",
     "{1}: Resource temporarily unavailable"},
    {"system.path_edquot", "{1}: Disk quota exceeded", "{1}：超出磁盘配额",
     "{1}: Disk quota exceeded"},
    {"system.path_enomem", "{1}: Cannot allocate memory", "{1}：无法分配内存",
     "{1}: Cannot allocate memory"},
    {"system.path_efbig", "{1}: File too large", "{1}：文件过大", "{1}: File too large"},
    {"system.path_etimedout", "{1}: Connection timed out", "{1}：连接超时",
     "{1}: Connection timed out"},
};

}  // namespace

std::span<const Entry> System() {
    return kEntries;
}

}  // namespace velmora::text::sections
