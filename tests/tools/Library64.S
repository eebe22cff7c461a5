# A small x86-64 library for the signature tool's tests. The twins differ only in the
# RIP-relative displacement of a load under an operand-size prefix, and then in one byte.
# It imports dlsym through the PLT, reaches an export through the GOT, and holds data
# words the loader relocates: each kind of RELA entry (GLOB_DAT, JUMP_SLOT, RELATIVE, 64).
        .intel_syntax noprefix
        .text
        .globl GameSwitchTeam
        .type GameSwitchTeam, @function
GameSwitchTeam:                         # 55 48 8B 05 <GOT slot> E8 <dlsym@PLT> 5D C3
        push rbp
        mov rax, [rip + GameData@GOTPCREL]
        call dlsym@PLT
        pop rbp
        ret
        .size GameSwitchTeam, .-GameSwitchTeam

        .type GameHiddenRespawn, @function
GameHiddenRespawn:                      # 55 48 89 E5 8B 05 <rip32> 83 C0 31 5D C3
        push rbp
        mov rbp, rsp
        mov eax, [rip + GameCounter]
        add eax, 0x31
        pop rbp
        ret
        .size GameHiddenRespawn, .-GameHiddenRespawn

        .type GameHiddenTwinA, @function
GameHiddenTwinA:                        # 55 48 89 E5 66 0F 6F 05 <rip32> 5D C3
        push rbp
        mov rbp, rsp
        movdqa xmm0, [rip + GameCounter]
        pop rbp
        ret
        .size GameHiddenTwinA, .-GameHiddenTwinA

        .type GameHiddenTwinB, @function
GameHiddenTwinB:                        # 55 48 89 E5 66 0F 6F 05 <rip32> 90 5D C3
        push rbp
        mov rbp, rsp
        movdqa xmm0, [rip + GameTable]
        nop
        pop rbp
        ret
        .size GameHiddenTwinB, .-GameHiddenTwinB

        .data
        .p2align 4
        .type GameCounter, @object
GameCounter:
        .long 0, 0, 0, 0
        .size GameCounter, 16
        .globl GameData
        .type GameData, @object
GameData:
        .long 7
        .size GameData, 4
        .p2align 4
        .type GameTable, @object
GameTable:                              # R_X86_64_RELATIVE, then R_X86_64_64
        .quad GameHiddenRespawn
        .quad GameSwitchTeam
        .size GameTable, 16
