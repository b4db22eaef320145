# Sourced by the scripts that start quillet.exe or its tests here: points the program's update
# check and feedback at a closed port on this machine, unless the caller set an address of its
# own. The release build keeps its configured addresses; only these runs are redirected.
export QUILLET_SERVICE_ADDRESS="${QUILLET_SERVICE_ADDRESS:-127.0.0.1:9/service/}"
export QUILLET_FEEDBACK_ADDRESS="${QUILLET_FEEDBACK_ADDRESS:-127.0.0.1:9/service/feedback}"
