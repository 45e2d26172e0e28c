// SPDX-License-Identifier: Apache-2.0
// Catalog section: serial device servers (tcp://, rfc2217://) and the programs known to take
// serial ports. Included through model/texts.h.
#pragma once

namespace corvix::txt {

// Appended to the open-failure texts for a tcp:// or rfc2217:// port. %s: "host:port".
inline constexpr BiText NetBadName{
    "\n\n端口名无效。串口服务器的写法是 tcp://主机:端口 或 rfc2217://主机:端口（IPv6 地址加方括号，例如 "
    "rfc2217://[::1]:4000）。",
    "\n\nInvalid port name. A serial device server is written tcp://HOST:PORT or rfc2217://HOST:PORT (an "
    "IPv6 "
    "address in brackets, for example rfc2217://[::1]:4000)."};
inline constexpr BiText NetHostNotFound{
    "\n\n找不到主机：%s 中的主机名无法解析。请检查主机名和网络的 DNS 设置。",
    "\n\nHost not found: the host name in %s could not be resolved. Check the "
    "name and the network's DNS settings."};
inline constexpr BiText NetRefused{
    "\n\n%s 拒绝了连接：那里没有串口服务器在监听。请检查端口号，并确认服务器正在运行。",
    "\n\n%s refused the connection: no serial server listens there. Check the port "
    "number and that the server is running."};
inline constexpr BiText NetTimedOut{
    "\n\n连接 %s 超时：主机没有应答。请检查地址和网络连接。",
    "\n\nConnecting to %s timed out: the host did not answer. Check the address "
    "and the network."};
inline constexpr BiText NetUnreachable{"\n\n无法到达 %s：没有通往该主机的网络路径。",
                                       "\n\nCannot reach %s: there is no network route to the host."};
inline constexpr BiText NetDropped{
    "\n\n%s 上的服务器接受连接后随即关闭了它（它的串口可能正被其他连接使用，或者服务器打不开串口）。",
    "\n\nThe server at %s closed the connection at once (its serial port may be in use by another "
    "connection, "
    "or the server could not open it)."};
// Both %s: "host:port".
inline constexpr BiText NetNoTelnet{
    "\n\n%s 上的服务器没有回应 RFC 2217 协商。若它是原始 TCP 端口，请改用 tcp://%s。",
    "\n\nThe server at %s did not answer the RFC 2217 negotiation. If it is a raw "
    "TCP port, use tcp://%s instead."};
inline constexpr BiText NetNoComPort{
    "\n\n%s 上的服务器不支持 RFC 2217 串口设置。若它是原始 TCP 端口，请改用 tcp://%s。",
    "\n\nThe server at %s does not support RFC 2217 line settings. If it is a raw "
    "TCP port, use tcp://%s instead."};
inline constexpr BiText NetSettingsRefused{
    "\n\n%s 上的服务器没有确认这些串口参数（波特率、数据位、校验、停止位）。",
    "\n\nThe server at %s did not confirm these line settings (baud rate, data bits, parity, stop bits)."};
// First %s: "host:port"; second: the system's description of the error.
inline constexpr BiText NetOtherError{"\n\n无法连接 %s：%s", "\n\nCannot connect to %s: %s"};
// The server closed an open link. %s: "host:port".
inline constexpr BiText NetLinkLost{"%s 上的服务器关闭了连接。", "The server at %s closed the connection."};

// Appended after "Port in use: ... holds it." when the holder is one of these services.
// %s: the port's kernel name (ttyUSB0).
inline constexpr BiText ModemManagerAdvice{
    "\n\nModemManager 会探测它当作调制解调器的串口。要让它不碰这个串口，请新建文件 "
    "/etc/udev/rules.d/99-corvix.rules，写入一行：\nKERNEL==\"%s\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n然后执行 "
    "sudo "
    "udevadm control --reload-rules && sudo udevadm "
    "trigger，再重新插拔适配器。若不需要调制解调器，也可以执行 "
    "sudo systemctl disable --now ModemManager。",
    "\n\nModemManager probes serial ports it takes for modems. To make it leave this port alone, create "
    "/etc/udev/rules.d/99-corvix.rules with the line:\nKERNEL==\"%s\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\nthen "
    "run "
    "sudo udevadm control --reload-rules && sudo udevadm trigger and replug the adapter. If you need no "
    "modem, "
    "sudo systemctl disable --now ModemManager does it too."};
inline constexpr BiText BrlttyAdvice{
    "\n\nbrltty（盲文显示器服务）会把某些 USB "
    "串口适配器当作盲文显示器占用。若不使用盲文显示器，请卸载它（sudo "
    "apt remove brltty）或屏蔽它的服务（sudo systemctl mask brltty-udev.service "
    "brltty.service），然后重新插拔适配器。",
    "\n\nbrltty (the braille display service) claims some USB serial adapters, taking them for braille "
    "displays. If you use no braille display, remove it (sudo apt remove brltty) or mask its services (sudo "
    "systemctl mask brltty-udev.service brltty.service), then replug the adapter."};

}  // namespace corvix::txt
