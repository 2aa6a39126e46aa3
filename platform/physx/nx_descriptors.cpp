// Validation of the SDK's descriptors: every create call checks its descriptor here first
// and returns null when this says no.

#include <cmath>

#include "platform/physx/nx_physics.h"

namespace {

bool finite(NxReal v) {
    return std::isfinite(v);
}
bool nonNegative(NxReal v) {
    return std::isfinite(v) && v >= 0.0f;
}
bool positive(NxReal v) {
    return std::isfinite(v) && v > 0.0f;
}
bool unitRange(NxReal v) {
    return std::isfinite(v) && v >= 0.0f && v <= 1.0f;
}

// A rotation matrix: orthonormal rows and determinant +1, within float tolerance.
bool isRotation(const NxMat33& m) {
    if (!m.isFinite()) return false;
    constexpr NxReal kTol = 1e-3f;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const NxReal d = m.getRow(i).dot(m.getRow(j));
            if (std::fabs(d - (i == j ? 1.0f : 0.0f)) > kTol) return false;
        }
    const NxReal det = m.getRow(0).dot(m.getRow(1).cross(m.getRow(2)));
    return det > 0.0f;
}

bool isRigid(const NxMat34& pose) {
    return isRotation(pose.M) && pose.t.isFinite();
}

bool strideOk(const void* buffer, NxU32 stride, NxU32 recordBytes) {
    return buffer == nullptr || stride >= recordBytes;
}

}  // namespace

bool NxMaterialDesc::isValid() const {
    return nonNegative(dynamicFriction) && nonNegative(staticFriction) && unitRange(restitution) &&
           nonNegative(dynamicFrictionV) && nonNegative(staticFrictionV) &&
           dirOfAnisotropy.isFinite() && frictionCombineMode >= NX_CM_AVERAGE &&
           frictionCombineMode <= NX_CM_MAX && restitutionCombineMode >= NX_CM_AVERAGE &&
           restitutionCombineMode <= NX_CM_MAX;
}

bool NxShapeDesc::isValid() const {
    return type >= NX_SHAPE_PLANE && type < NX_SHAPE_COUNT && isRigid(localPose) && group < 32 &&
           positive(density) && finite(mass) && finite(skinWidth);
}

bool NxPlaneShapeDesc::isValid() const {
    const NxReal len = normal.magnitude();
    return NxShapeDesc::isValid() && type == NX_SHAPE_PLANE && std::isfinite(len) &&
           std::fabs(len - 1.0f) < 1e-3f && finite(d);
}

bool NxSphereShapeDesc::isValid() const {
    return NxShapeDesc::isValid() && type == NX_SHAPE_SPHERE && positive(radius);
}

bool NxBoxShapeDesc::isValid() const {
    return NxShapeDesc::isValid() && type == NX_SHAPE_BOX && positive(dimensions.x) &&
           positive(dimensions.y) && positive(dimensions.z);
}

bool NxBodyDesc::isValid() const {
    return isRigid(massLocalPose) && nonNegative(massSpaceInertia.x) &&
           nonNegative(massSpaceInertia.y) && nonNegative(massSpaceInertia.z) &&
           nonNegative(mass) && linearVelocity.isFinite() && angularVelocity.isFinite() &&
           nonNegative(wakeUpCounter) && nonNegative(linearDamping) &&
           nonNegative(angularDamping) && finite(maxAngularVelocity) &&
           nonNegative(CCDMotionThreshold) && finite(sleepLinearVelocity) &&
           finite(sleepAngularVelocity) && solverIterationCount >= 1 &&
           solverIterationCount <= 255 && finite(sleepEnergyThreshold) && nonNegative(sleepDamping);
}

bool NxActorDesc::isValid() const {
    if (shapes.empty() || !isRigid(globalPose) || !nonNegative(density)) return false;
    for (const NxShapeDesc* s : shapes)
        if (!s || !s->isValid()) return false;
    if (body) {
        if (!body->isValid()) return false;
        for (const NxShapeDesc* s : shapes)
            if (s->type == NX_SHAPE_PLANE) return false;  // a plane has no finite mass
        if (body->mass <= 0.0f && density <= 0.0f) {
            bool shapeMass = false;
            for (const NxShapeDesc* s : shapes) shapeMass = shapeMass || s->mass > 0.0f;
            if (!shapeMass) return false;
        }
    }
    if ((flags & NX_AF_GROUND) && body) return false;
    return true;
}

bool NxParticleData::isValid() const {
    return strideOk(bufferPos, bufferPosByteStride, 12) &&
           strideOk(bufferVel, bufferVelByteStride, 12) &&
           strideOk(bufferLife, bufferLifeByteStride, 4) &&
           strideOk(bufferDensity, bufferDensityByteStride, 4) &&
           strideOk(bufferId, bufferIdByteStride, 4) &&
           strideOk(bufferFlag, bufferFlagByteStride, 4) &&
           strideOk(bufferCollisionNormal, bufferCollisionNormalByteStride, 12);
}

bool NxFluidEmitterDesc::isValid() const {
    const bool typeOk = type == NX_FE_CONSTANT_PRESSURE || type == NX_FE_CONSTANT_FLOW_RATE;
    const bool shapeOk = shape == NX_FE_RECTANGULAR || shape == NX_FE_ELLIPSE;
    return typeOk && shapeOk && isRigid(relPose) && nonNegative(dimensionX) &&
           nonNegative(dimensionY) && nonNegative(randomPos.x) && nonNegative(randomPos.y) &&
           nonNegative(randomPos.z) && nonNegative(randomAngle) &&
           nonNegative(fluidVelocityMagnitude) && nonNegative(rate) &&
           nonNegative(particleLifetime) && nonNegative(repulsionCoefficient);
}

bool NxFluidDesc::isValid() const {
    if (maxParticles == 0 || maxParticles > NX_FLUID_MAX_PARTICLES_LIMIT) return false;
    if (numReserveParticles >= maxParticles) return false;
    if (!positive(restParticlesPerMeter) || !positive(restDensity)) return false;
    if (!finite(kernelRadiusMultiplier) || kernelRadiusMultiplier < 1.0f) return false;
    if (!positive(motionLimitMultiplier) || !positive(collisionDistanceMultiplier)) return false;
    if (packetSizeMultiplier < 4 || (packetSizeMultiplier & (packetSizeMultiplier - 1)) != 0)
        return false;
    if (!positive(stiffness) || !positive(viscosity) || !nonNegative(surfaceTension) ||
        !nonNegative(damping) || !nonNegative(fadeInTime))
        return false;
    if (!externalAcceleration.isFinite() || !projectionPlane.normal.isFinite() ||
        !finite(projectionPlane.d) || projectionPlane.normal.magnitudeSquared() < 1e-6f)
        return false;
    if (!unitRange(restitutionForStaticShapes) || !unitRange(dynamicFrictionForStaticShapes) ||
        !nonNegative(staticFrictionForStaticShapes) || !nonNegative(attractionForStaticShapes) ||
        !unitRange(restitutionForDynamicShapes) || !unitRange(dynamicFrictionForDynamicShapes) ||
        !nonNegative(staticFrictionForDynamicShapes) || !nonNegative(attractionForDynamicShapes) ||
        !nonNegative(collisionResponseCoefficient))
        return false;
    if (simulationMethod != NX_F_SPH && simulationMethod != NX_F_NO_PARTICLE_INTERACTION &&
        simulationMethod != NX_F_MIXED_MODE)
        return false;
    if ((collisionMethod & ~NxU32(NX_F_STATIC | NX_F_DYNAMIC)) != 0) return false;
    if (collisionGroup >= 32) return false;
    if (!particlesWriteData.isValid() || !initialParticleData.isValid()) return false;
    if (initialParticleData.numParticlesPtr && *initialParticleData.numParticlesPtr > 0 &&
        !initialParticleData.bufferPos)
        return false;
    return true;
}

bool NxSceneDesc::isValid() const {
    if (!gravity.isFinite() || !positive(maxTimestep) || maxIter < 1 || maxIter > 128) return false;
    if (timeStepMethod < NX_TIMESTEP_FIXED || timeStepMethod > NX_TIMESTEP_VARIABLE) return false;
    if (simType != NX_SIMULATION_SW && simType != NX_SIMULATION_HW) return false;
    if (customScheduler) return false;
    if (internalThreadCount > 64) return false;
    if (maxBounds &&
        (maxBounds->isEmpty() || !maxBounds->min.isFinite() || !maxBounds->max.isFinite()))
        return false;
    if (boundsPlanes && !maxBounds) return false;
    if (upAxis > 2 || subdivisionLevel < 1 || subdivisionLevel > 8) return false;
    if (staticStructure < NX_PRUNING_NONE || staticStructure > NX_PRUNING_STATIC_AABB_TREE ||
        dynamicStructure < NX_PRUNING_NONE || dynamicStructure > NX_PRUNING_STATIC_AABB_TREE)
        return false;
    if (bpType != NX_BP_TYPE_SAP_SINGLE && bpType != NX_BP_TYPE_SAP_MULTI) return false;
    if (solverBatchSize < 1) return false;
    return true;
}

bool NxCompartmentDesc::isValid() const {
    return type >= NX_SCT_RIGIDBODY && type <= NX_SCT_SOFTBODY && positive(gridHashCellSize) &&
           gridHashTablePower <= 20 && positive(timeScale);
}
