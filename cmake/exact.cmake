# The song must come out byte for byte the same on every build: no fused
# multiply-add, no excess precision, no reassociation. -Wdouble-promotion
# makes every float-to-double step in the exact arithmetic a visible,
# deliberate cast.
add_compile_options(-Wall -Wextra -Wshadow -Wdouble-promotion -ffp-contract=off -fno-fast-math)
