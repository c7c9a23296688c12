# Writes the file IN as a C++ raw string literal to OUT, so a program carries the text inside it.
file(READ "${IN}" content)
file(WRITE "${OUT}.tmp" "R\"pawnstage_text(${content})pawnstage_text\"\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
