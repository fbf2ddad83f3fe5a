# SPDX-License-Identifier: GPL-2.0-or-later
# Every target of the project builds clean with these; a warning is a build failure.
add_compile_options(-Wall -Wextra -Wnon-virtual-dtor -Werror)
