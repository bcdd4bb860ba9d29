# Cross build for 32-bit ARM hard-float (Raspberry Pi class) on a Debian host with multiarch, such as
# the root scripts/cross-root makes: dpkg --add-architecture armhf; the :armhf development packages;
#   g++-arm-linux-gnueabihf; qemu-user.
# Libraries and their CMake packages come from /usr/lib/arm-linux-gnueabihf; headers that are
# the same for every architecture from /usr/include. Build-time tools (moc, rcc, flatc) are the
# host's own; executables of this project that run at build or test time go through qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
# Selects the multiarch directories: find_library and find_package look in /usr/lib/arm-linux-gnueabihf.
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# The armhf runtime linker and libraries are installed by multiarch, so the emulator finds them
# at the paths the binaries name; no separate sysroot is needed.
find_program(VANTREL_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTREL_QEMU_ARM})

# GCC notes on 32-bit ARM that the parameter passing of some types changed in GCC 7.1; everything
# here is built by one compiler, so the note never applies.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

# pkg-config answers for the target: the armhf .pc files, not the host's (whose libdir names the host's
# multiarch directory, where the host's library would be found first).
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig")
